// Request stubs the independent peer (rpcpeer.py, impacket's NDR encoder) produced, shared by the tests
// that decode them. Produced with /usr/bin/python3 -c "import rpcpeer as rp; print(rp.HOST[...].encode({...}).hex())".
#pragma once

namespace tarvik::protocol {

// rp.HOST['R_MACHINE_H'].encode({'pszHost':'HOST1','pszMachine':'MC01','OrderNum':42,'MachineMode':1,
//   'MachineStatus':-3,'pszNCProgramm':'O1000','ClampCubeSide':4,'DockPos':[1,-2,3],'DockPosStatus':[10,11,12],
//   'pszWPC':['AB','','CDEFGH'],'WPCStatus':[7,8,9],'ResInt1':-1,'ResInt2':65536,'pszResByte':'x'})
inline constexpr char kR_MACHINE_H[] =
    "060000000000000006000000484f53543100abab0500000000000000050000004d43303100bfbfbf2a00000001000000fdffffff0600"
    "000000000000060000004f3130303000bfbf0400000001000000feffffff030000000a0000000b0000000c0000004142000000000000"
    "00000000434445464748abab070000000800000009000000ffffffff000001000200000000000000020000007800";
// rp.HOST['R_REPORT_H'].encode({'pszHost':'H','pszMachine':'M','OrderNum':5,'Typ':2,'Number':[1..10],
//   'Time':[-1,0,1,2,3,4,5,6,7,2147483647],'Flag':[0,1,65,127,128,200,254,255,0,255],'ResInt1':1,'ResInt2':2,
//   'pszResByte':'rb'})
inline constexpr char kR_REPORT_H[] =
    "0200000000000000020000004800abab0200000000000000020000004d00bfbf0500000002000000010000000200000003000000"
    "0400000005000000060000000700000008000000090000000a000000ffffffff000000000100000002000000030000000400000005"
    "0000000600000007000000ffffff7f0001417f80c8feff00ffbfbf0100000002000000030000000000000003000000726200";

}  // namespace tarvik::protocol
