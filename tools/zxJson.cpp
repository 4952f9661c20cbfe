#include "zxJson.h"

#include "zxClasses.h"

#include <cstdlib>

// A recursive descent over the text; nesting is bounded, so that a hostile
// document cannot exhaust the stack.
class TzxJsonReader {
public:
  explicit TzxJsonReader(const std::string &text) : FText(text) {}

  TzxJson Document() {
    TzxJson v = Value(0);
    Space();
    if (FAt != FText.size()) Fail("text after the end of the document");
    return v;
  }

private:
  static constexpr int MaxDepth = 64;

  [[noreturn]] void Fail(const char *what) const {
    throw EzxError(Format("not JSON at byte %zu: %s", FAt + 1, what));
  }

  void Space() {
    while (FAt < FText.size() &&
           (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\n' || FText[FAt] == '\r'))
      ++FAt;
  }

  bool Take(char c) {
    Space();
    if (FAt < FText.size() && FText[FAt] == c) {
      ++FAt;
      return true;
    }
    return false;
  }

  void Expect(char c, const char *what) {
    if (!Take(c)) Fail(what);
  }

  bool Word(const char *word) {
    const std::string w = word;
    if (FText.compare(FAt, w.size(), w) != 0) return false;
    FAt += w.size();
    return true;
  }

  TzxJson Value(int depth) {
    if (depth > MaxDepth) Fail("nested too deeply");
    Space();
    if (FAt >= FText.size()) Fail("a value is missing");
    TzxJson v;
    const char c = FText[FAt];
    if (c == '{') {
      ++FAt;
      v.FKind = TzxJson::TKind::Object;
      if (Take('}')) return v;
      do {
        Space();
        if (FAt >= FText.size() || FText[FAt] != '"') Fail("a member name is missing");
        std::string name = String();
        Expect(':', "a ':' is missing after a member name");
        v.FMembers.emplace_back(std::move(name), Value(depth + 1));
      } while (Take(','));
      Expect('}', "an object is not closed");
    } else if (c == '[') {
      ++FAt;
      v.FKind = TzxJson::TKind::Array;
      if (Take(']')) return v;
      do
        v.FItems.push_back(Value(depth + 1));
      while (Take(','));
      Expect(']', "an array is not closed");
    } else if (c == '"') {
      v.FKind = TzxJson::TKind::String;
      v.FText = String();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      v.FKind = TzxJson::TKind::Number;
      const size_t start = FAt;
      while (FAt < FText.size() &&
             std::string("+-.eE0123456789").find(FText[FAt]) != std::string::npos)
        ++FAt;
      v.FText = FText.substr(start, FAt - start);
      char *end = nullptr;
      std::strtod(v.FText.c_str(), &end);
      if (*end != '\0') Fail("a malformed number");
    } else if (Word("true")) {
      v.FKind = TzxJson::TKind::Bool;
      v.FBool = true;
    } else if (Word("false")) {
      v.FKind = TzxJson::TKind::Bool;
    } else if (Word("null")) {
    } else {
      Fail("an unexpected character");
    }
    return v;
  }

  static void AppendUtf8(std::string &out, uint32_t u) {
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (u >> 18));
      out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }

  uint32_t Hex4() {
    if (FAt + 4 > FText.size()) Fail("a \\u escape is cut short");
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = FText[FAt++];
      const int d = h >= '0' && h <= '9'   ? h - '0'
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                           : -1;
      if (d < 0) Fail("a \\u escape has a character that is no hex digit");
      u = u << 4 | uint32_t(d);
    }
    return u;
  }

  // At the opening quote.
  std::string String() {
    ++FAt;
    std::string out;
    for (;;) {
      if (FAt >= FText.size()) Fail("a string is not closed");
      const char c = FText[FAt++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("a control character inside a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (FAt >= FText.size()) Fail("a string is not closed");
      const char e = FText[FAt++];
      switch (e) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '/': out += '/'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        uint32_t u = Hex4();
        if (u >= 0xD800 && u < 0xDC00 && FText.compare(FAt, 2, "\\u") == 0) {
          FAt += 2;
          const uint32_t low = Hex4();
          if (low < 0xDC00 || low > 0xDFFF) Fail("a surrogate pair is broken");
          u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
          u = 0xFFFD; // a lone surrogate
        }
        AppendUtf8(out, u);
        break;
      }
      default: Fail("an unknown escape in a string");
      }
    }
  }

  const std::string &FText;
  size_t FAt = 0;
};

TzxJson TzxJson::Parse(const std::string &text) {
  return TzxJsonReader(text).Document();
}

const TzxJson &TzxJson::operator[](const std::string &name) const {
  static const TzxJson none;
  for (const auto &[key, value] : FMembers)
    if (key == name) return value;
  return none;
}

const std::vector<TzxJson> &TzxJson::Items() const {
  return FItems;
}

std::string TzxJson::Text() const {
  return FKind == TKind::String || FKind == TKind::Number ? FText : std::string();
}

double TzxJson::Number(double fallback) const {
  if (FKind != TKind::String && FKind != TKind::Number) return fallback;
  if (FText.empty()) return fallback;
  char *end = nullptr;
  const double v = std::strtod(FText.c_str(), &end);
  // strtod takes "nan" and "inf", which no count or time here is.
  if (*end != '\0' || v != v || v > 1e300 || v < -1e300) return fallback;
  return v;
}
