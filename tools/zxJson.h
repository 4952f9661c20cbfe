// Reading JSON documents such as ffprobe's "-of json" output: objects,
// arrays, strings (with \u escapes, UTF-8 out), numbers, true, false, null.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TzxJson {
public:
  enum class TKind { Null, Bool, Number, String, Array, Object };

  // Throws EzxError saying where the text stops being JSON.
  static TzxJson Parse(const std::string &text);

  TKind Kind() const { return FKind; }
  bool IsNull() const { return FKind == TKind::Null; }

  // The member of an object, or a null value when there is none (or this
  // is no object): lookups chain without checks.
  const TzxJson &operator[](const std::string &name) const;
  // The items of an array (empty for anything else).
  const std::vector<TzxJson> &Items() const;

  bool Bool() const { return FBool; }
  // The value as text: a string as it is, a number as written; "" else.
  std::string Text() const;
  // A number, or a string holding one as a whole ("25", "0.040000");
  // fallback for anything else ("N/A", missing members).
  double Number(double fallback = 0) const;

private:
  TKind FKind = TKind::Null;
  bool FBool = false;
  std::string FText; // a string's value, a number's digits
  std::vector<TzxJson> FItems;
  std::vector<std::pair<std::string, TzxJson>> FMembers;

  friend class TzxJsonReader;
};
