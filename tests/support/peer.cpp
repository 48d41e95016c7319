#include "tests/support/peer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace tarvik::test {

std::vector<std::string> peer_command(std::vector<std::string> args) {
  std::vector<std::string> out{TARVIK_PYTHON, std::string(TARVIK_PEER_DIR) + "/rpcpeer.py"};
  out.insert(out.end(), args.begin(), args.end());
  return out;
}

PeerServer::PeerServer(const std::string& role, std::vector<std::string> options) {
  char name[] = "/tmp/tarvik-peer-port-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  port_file_ = name;
  std::vector<std::string> args{"serve-" + role, "--port", "0", "--port-file", port_file_};
  args.insert(args.end(), options.begin(), options.end());
  process_ = std::make_unique<ChildProcess>(peer_command(args));
  // The peer writes the file once it listens; python needs a moment to start.
  for (int i = 0; i < 2000 && port_ == 0; ++i) {
    std::ifstream in(port_file_);
    unsigned p = 0;
    if (in >> p && p != 0) port_ = static_cast<std::uint16_t>(p);
    if (port_ == 0) std::this_thread::sleep_for(10ms);
  }
  if (port_ == 0) throw std::runtime_error("peer did not start: " + process_->stderr_text());
}

PeerServer::~PeerServer() {
  process_.reset();
  std::remove(port_file_.c_str());
}

nlohmann::json PeerServer::next_call(std::chrono::milliseconds timeout) {
  const auto line = process_->read_line(timeout);
  if (!line) return nullptr;
  return nlohmann::json::parse(*line, nullptr, /*allow_exceptions=*/false);
}

nlohmann::json peer_call(const std::string& role, std::uint16_t port, const std::string& telegram,
                         const nlohmann::json& values, std::vector<std::string> extra) {
  std::vector<std::string> args{"call-" + role, "--port", std::to_string(port), telegram};
  if (!values.is_null()) {
    args.push_back("--json");
    args.push_back(values.dump(-1, ' ', /*ensure_ascii=*/true));
  }
  args.insert(args.end(), extra.begin(), extra.end());
  const RunResult r = run(peer_command(args));
  const auto out = lines(r.out);
  nlohmann::json j = out.empty() ? nlohmann::json{{"error", r.err}}
                                 : nlohmann::json::parse(out.back(), nullptr, /*allow_exceptions=*/false);
  if (!j.is_object()) j = nlohmann::json{{"error", r.out + r.err}};
  j["exit"] = r.exit_code;
  return j;
}

std::uint16_t unused_port() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("no free port");
  close(s);
  return ntohs(a.sin_port);
}

}  // namespace tarvik::test
