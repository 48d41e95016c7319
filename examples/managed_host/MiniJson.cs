using System;
using System.Collections.Generic;
using System.Globalization;
using System.Text;

namespace Vortane.Tarvik.Rpc.Examples
{
  // Just enough JSON for one-line records: objects (Dictionary<string, object>), arrays
  // (List<object>), strings, integers (long), other numbers (double), true/false/null. Writing escapes everything outside
  // printable ASCII, so the output is plain ASCII whatever the texts hold.
  public static class MiniJson
  {
    public static object Parse(string text)
    {
      int at = 0;
      object value = ParseValue(text, ref at);
      SkipSpace(text, ref at);
      if (at != text.Length) throw new FormatException("trailing characters at " + at);
      return value;
    }

    // Reads one value starting at `at` (after optional spaces) and leaves `at` behind it.
    public static object ParseValue(string text, ref int at)
    {
      SkipSpace(text, ref at);
      if (at >= text.Length) throw new FormatException("value expected");
      char c = text[at];
      if (c == '{') return ParseObject(text, ref at);
      if (c == '[') return ParseArray(text, ref at);
      if (c == '"') return ParseString(text, ref at);
      if (c == '-' || char.IsDigit(c)) return ParseNumber(text, ref at);
      foreach (string word in new[] { "true", "false", "null" })
      {
        if (string.CompareOrdinal(text, at, word, 0, word.Length) == 0)
        {
          at += word.Length;
          return word == "null" ? null : (object)(word == "true");
        }
      }
      throw new FormatException("unexpected '" + c + "' at " + at);
    }

    public static string Write(object value)
    {
      StringBuilder b = new StringBuilder();
      WriteValue(b, value);
      return b.ToString();
    }

    public static void WriteValue(StringBuilder b, object value)
    {
      if (value == null)
      {
        b.Append("null");
      }
      else if (value is string)
      {
        WriteString(b, (string)value);
      }
      else if (value is bool)
      {
        b.Append((bool)value ? "true" : "false");
      }
      else if (value is int || value is long)
      {
        b.Append(Convert.ToInt64(value).ToString(CultureInfo.InvariantCulture));
      }
      else if (value is double)
      {
        b.Append(((double)value).ToString("R", CultureInfo.InvariantCulture));
      }
      else if (value is IDictionary<string, object>)
      {
        b.Append('{');
        bool first = true;
        foreach (KeyValuePair<string, object> e in (IDictionary<string, object>)value)
        {
          if (!first) b.Append(',');
          first = false;
          WriteString(b, e.Key);
          b.Append(':');
          WriteValue(b, e.Value);
        }
        b.Append('}');
      }
      else if (value is System.Collections.IEnumerable)
      {
        b.Append('[');
        bool first = true;
        foreach (object e in (System.Collections.IEnumerable)value)
        {
          if (!first) b.Append(',');
          first = false;
          WriteValue(b, e);
        }
        b.Append(']');
      }
      else
      {
        throw new ArgumentException("cannot write " + value.GetType());
      }
    }

    private static void WriteString(StringBuilder b, string s)
    {
      b.Append('"');
      foreach (char c in s)
      {
        if (c == '"' || c == '\\')
          b.Append('\\').Append(c);
        else if (c < 0x20 || c > 0x7e)
          b.Append("\\u").Append(((int)c).ToString("x4", CultureInfo.InvariantCulture));
        else
          b.Append(c);
      }
      b.Append('"');
    }

    private static void SkipSpace(string text, ref int at)
    {
      while (at < text.Length && char.IsWhiteSpace(text[at])) at++;
    }

    private static void Expect(string text, ref int at, char c)
    {
      SkipSpace(text, ref at);
      if (at >= text.Length || text[at] != c) throw new FormatException("'" + c + "' expected at " + at);
      at++;
    }

    private static bool Next(string text, ref int at, char c)
    {
      SkipSpace(text, ref at);
      if (at < text.Length && text[at] == c)
      {
        at++;
        return true;
      }
      return false;
    }

    private static Dictionary<string, object> ParseObject(string text, ref int at)
    {
      Dictionary<string, object> o = new Dictionary<string, object>();
      Expect(text, ref at, '{');
      if (Next(text, ref at, '}')) return o;
      do
      {
        SkipSpace(text, ref at);
        string key = ParseString(text, ref at);
        Expect(text, ref at, ':');
        o[key] = ParseValue(text, ref at);
      } while (Next(text, ref at, ','));
      Expect(text, ref at, '}');
      return o;
    }

    private static List<object> ParseArray(string text, ref int at)
    {
      List<object> a = new List<object>();
      Expect(text, ref at, '[');
      if (Next(text, ref at, ']')) return a;
      do
      {
        a.Add(ParseValue(text, ref at));
      } while (Next(text, ref at, ','));
      Expect(text, ref at, ']');
      return a;
    }

    private static string ParseString(string text, ref int at)
    {
      Expect(text, ref at, '"');
      StringBuilder b = new StringBuilder();
      while (true)
      {
        if (at >= text.Length) throw new FormatException("unterminated string");
        char c = text[at++];
        if (c == '"') return b.ToString();
        if (c != '\\')
        {
          b.Append(c);
          continue;
        }
        if (at >= text.Length) throw new FormatException("unterminated escape");
        char e = text[at++];
        switch (e)
        {
          case 'n': b.Append('\n'); break;
          case 't': b.Append('\t'); break;
          case 'r': b.Append('\r'); break;
          case 'b': b.Append('\b'); break;
          case 'f': b.Append('\f'); break;
          case 'u':
            if (at + 4 > text.Length) throw new FormatException("short \\u escape");
            b.Append((char)int.Parse(text.Substring(at, 4), NumberStyles.HexNumber, CultureInfo.InvariantCulture));
            at += 4;
            break;
          default: b.Append(e); break;
        }
      }
    }

    // Integers as long, anything with a fraction or exponent as double.
    private static object ParseNumber(string text, ref int at)
    {
      int start = at;
      if (text[at] == '-') at++;
      while (at < text.Length && char.IsDigit(text[at])) at++;
      bool integer = true;
      while (at < text.Length && (text[at] == '.' || text[at] == 'e' || text[at] == 'E' || text[at] == '+' ||
                                  text[at] == '-' || char.IsDigit(text[at])))
      {
        integer = false;
        at++;
      }
      string number = text.Substring(start, at - start);
      if (integer) return long.Parse(number, NumberStyles.AllowLeadingSign, CultureInfo.InvariantCulture);
      return double.Parse(number, NumberStyles.Float, CultureInfo.InvariantCulture);
    }
  }
}
