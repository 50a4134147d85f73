#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/OVError.h"

// Records list their fields once, in declaration order, through a visitor:
//
//   struct TOVVerFile {
//     int32_t id = 0; std::string file_key;
//     template <class V> void Fields(V& v) { v("id", id); v("file_key", file_key); }
//   };
//
// Field kinds: bool, integers, floating point, std::string, std::vector<std::string>,
// std::vector<uint8_t> (a byte array), nested records, std::vector of records, and
// std::optional / std::unique_ptr of a record (absent is null).
namespace ov::json_detail {

template <class T>
struct IsVector : std::false_type {};
template <class T, class A>
struct IsVector<std::vector<T, A>> : std::true_type {};
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsUniquePtr : std::false_type {};
template <class T, class D>
struct IsUniquePtr<std::unique_ptr<T, D>> : std::true_type {};

// Escapes and quotes a UTF-8 text. With aIsAnsi, characters from U+0080 and control
// characters other than \b \t \n \f \r appear as themselves.
void AppendQuoted(std::string& aOut, std::string_view aText, bool aIsAnsi);

[[noreturn]] void MarshallingError();

class TWriter {
 public:
  TWriter(std::string& aOut, bool aIsAnsi) : FOut(aOut), FAnsi(aIsAnsi) {}

  template <class F>
  void operator()(std::string_view aName, const F& aField) {
    if (!FFirst) FOut += ',';
    FFirst = false;
    AppendQuoted(FOut, aName, FAnsi);
    FOut += ':';
    Value(aField);
  }

  template <class R>
  void Record(const R& aRecord) {
    FOut += '{';
    TWriter inner(FOut, FAnsi);
    const_cast<R&>(aRecord).Fields(inner);  // the visitor only reads
    FOut += '}';
  }

  template <class F>
  void Value(const F& v) {
    if constexpr (std::is_same_v<F, bool>) {
      FOut += v ? "true" : "false";
    } else if constexpr (std::is_integral_v<F>) {
      FOut += std::to_string(v);
    } else if constexpr (std::is_floating_point_v<F>) {
      FOut += nlohmann::json(v).dump();
    } else if constexpr (std::is_same_v<F, std::string>) {
      AppendQuoted(FOut, v, FAnsi);
    } else if constexpr (IsVector<F>::value) {
      FOut += '[';
      bool first = true;
      for (const auto& item : v) {
        if (!first) FOut += ',';
        first = false;
        if constexpr (std::is_same_v<typename F::value_type, uint8_t>) {
          FOut += std::to_string(static_cast<unsigned>(item));
        } else {
          Value(item);
        }
      }
      FOut += ']';
    } else if constexpr (IsOptional<F>::value || IsUniquePtr<F>::value) {
      if (v) {
        Value(*v);
      } else {
        FOut += "null";
      }
    } else {
      Record(v);
    }
  }

 private:
  std::string& FOut;
  bool FAnsi;
  bool FFirst = true;
};

class TReader {
 public:
  explicit TReader(const nlohmann::json& aObject) : FObject(aObject) {}

  template <class F>
  void operator()(std::string_view aName, F& aField) {
    auto it = FObject.find(aName);
    if (it == FObject.end() || it->is_null()) return;  // absent: the field stays empty or 0
    Value(*it, aField);
  }

  template <class R>
  static void Record(const nlohmann::json& j, R& aRecord) {
    if (!j.is_object()) MarshallingError();
    TReader inner(j);
    aRecord.Fields(inner);
  }

  template <class F>
  static void Value(const nlohmann::json& j, F& v) {
    if constexpr (std::is_same_v<F, bool>) {
      if (!j.is_boolean()) MarshallingError();
      v = j.get<bool>();
    } else if constexpr (std::is_integral_v<F>) {
      // Numbers only; a number written as a string is a wrong type.
      if (j.is_number_unsigned()) {
        auto u = j.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<F>::max())) MarshallingError();
        v = static_cast<F>(u);
      } else if (j.is_number_integer()) {
        auto s = j.get<int64_t>();
        if (s < static_cast<int64_t>(std::numeric_limits<F>::min()) ||
            (s > 0 && static_cast<uint64_t>(s) >
                          static_cast<uint64_t>(std::numeric_limits<F>::max()))) {
          MarshallingError();
        }
        v = static_cast<F>(s);
      } else {
        MarshallingError();
      }
    } else if constexpr (std::is_floating_point_v<F>) {
      if (!j.is_number()) MarshallingError();
      v = j.get<F>();
    } else if constexpr (std::is_same_v<F, std::string>) {
      if (!j.is_string()) MarshallingError();
      v = j.get<std::string>();
    } else if constexpr (IsVector<F>::value) {
      if (!j.is_array()) MarshallingError();
      F items;
      items.reserve(j.size());
      for (const auto& e : j) {
        typename F::value_type item{};
        if constexpr (std::is_same_v<typename F::value_type, uint8_t>) {
          if (!e.is_number_unsigned() || e.get<uint64_t>() > 255) MarshallingError();
          item = static_cast<uint8_t>(e.get<uint64_t>());
        } else if (!e.is_null()) {
          Value(e, item);
        }
        items.push_back(std::move(item));
      }
      v = std::move(items);
    } else if constexpr (IsOptional<F>::value) {
      typename F::value_type item{};
      Value(j, item);
      v = std::move(item);
    } else if constexpr (IsUniquePtr<F>::value) {
      auto item = std::make_unique<typename F::element_type>();
      Value(j, *item);
      v = std::move(item);
    } else {
      Record(j, v);
    }
  }

 private:
  const nlohmann::json& FObject;
};

// Parses a JSON text; throws ov::Error with the parser's message for malformed text.
nlohmann::json Parse(std::string_view aText);

}  // namespace ov::json_detail

class TJSONHelper {
 public:
  TJSONHelper() = delete;

  // The record as compact JSON. Strings are escaped so the text is pure ASCII; with aIsAnsi
  // characters from U+0080 on and the other control characters appear as themselves.
  template <class T>
  static std::string Obj2JSON(const T& aObj, bool aIsAnsi = false) {
    std::string out;
    ov::json_detail::TWriter(out, aIsAnsi).Record(aObj);
    return out;
  }

  // Maps a JSON object onto a fresh record: members by name, absent or null members leave the
  // field empty or 0, unknown members are ignored. False when the text holds no record (empty
  // or null). Throws ov::Error "Marshalling error" for a member of the wrong type or a
  // non-object, and ov::Error with the parser's text for malformed JSON.
  template <class T>
  static bool JSON2Obj(std::string_view aText, T& aObj) {
    nlohmann::json j = ov::json_detail::Parse(aText);
    aObj = T();
    if (j.is_null()) return false;
    ov::json_detail::TReader::Record(j, aObj);
    return true;
  }

  // JSON member of a field named in the F-prefix style: one leading "F" or "f" removed, the
  // next character in lower case ("FSoftid" gives "softid").
  static std::string FieldJsonName(std::string_view aFieldName);
  // A text as a JSON string literal, escaped as Obj2JSON does.
  static std::string QuoteStr(std::string_view aText, bool aIsAnsi = false);
};
