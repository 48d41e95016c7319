using System.Collections.Generic;

namespace Vortane.Tarvik.Rpc.Tests
{
  internal static class Params
  {
    // Params.Of("pszHost", "H1", "OrderNum", 5) -> {"pszHost": "H1", "OrderNum": 5}
    internal static Dictionary<string, object> Of(params object[] nameValue)
    {
      Dictionary<string, object> d = new Dictionary<string, object>();
      for (int i = 0; i + 1 < nameValue.Length; i += 2) d[(string)nameValue[i]] = nameValue[i + 1];
      return d;
    }
  }
}
