#include "base/JSONHelperUtil.h"

#include <gtest/gtest.h>

namespace {

struct TInner {
  std::string name;
  int32_t count = 0;
  template <class V>
  void Fields(V& v) {
    v("name", name);
    v("count", count);
  }
  bool operator==(const TInner&) const = default;
};

// Fields named in the F-prefix style, so the names go through FieldJsonName.
struct TSoftInfo {
  int32_t FSoftid = 0;
  std::string FVip_apiurl;
  template <class V>
  void Fields(V& v) {
    v(TJSONHelper::FieldJsonName("FSoftid"), FSoftid);
    v(TJSONHelper::FieldJsonName("FVip_apiurl"), FVip_apiurl);
  }
};

struct TAll {
  int32_t id = 0;
  int64_t size = 0;
  bool flag = false;
  std::string text;
  std::vector<std::string> urls;
  std::vector<uint8_t> bytes;
  TInner inner;
  std::vector<TInner> items;
  std::optional<TInner> maybe;
  template <class V>
  void Fields(V& v) {
    v("id", id);
    v("size", size);
    v("flag", flag);
    v("text", text);
    v("urls", urls);
    v("bytes", bytes);
    v("inner", inner);
    v("items", items);
    v("maybe", maybe);
  }
  bool operator==(const TAll&) const = default;
};

std::string ErrorOf(const std::string& text) {
  TAll a;
  try {
    TJSONHelper::JSON2Obj(text, a);
  } catch (const ov::Error& e) {
    return e.what();
  }
  return "<no error>";
}

}  // namespace

TEST(JSONHelper, FieldNamesDropTheFPrefix) {
  EXPECT_EQ(TJSONHelper::FieldJsonName("FSoftid"), "softid");
  EXPECT_EQ(TJSONHelper::FieldJsonName("FBusiness_apiurl"), "business_apiurl");
  EXPECT_EQ(TJSONHelper::FieldJsonName("FCarouselpicurls"), "carouselpicurls");
  EXPECT_EQ(TJSONHelper::FieldJsonName("fX"), "x");
  EXPECT_EQ(TJSONHelper::FieldJsonName("Code"), "code");
}

TEST(JSONHelper, ChineseIsEscapedUnlessAnsi) {
  TSoftInfo s;
  s.FSoftid = 12;
  s.FVip_apiurl = "http://h/接口";
  EXPECT_EQ(TJSONHelper::Obj2JSON(s, false),
            "{\"softid\":12,\"vip_apiurl\":\"http:\\/\\/h\\/\\u63A5\\u53E3\"}");
  EXPECT_EQ(TJSONHelper::Obj2JSON(s, true), "{\"softid\":12,\"vip_apiurl\":\"http:\\/\\/h\\/接口\"}");
}

TEST(JSONHelper, EscapingOfControlCharactersAndEmoji) {
  const std::string text = std::string("q\"b\\s/\b\t\n\f\r\x01\x1f\x7f", 14) + "\xF0\x9F\x98\x80";
  EXPECT_EQ(TJSONHelper::QuoteStr(text, false),
            "\"q\\\"b\\\\s\\/\\b\\t\\n\\f\\r\\u0001\\u001F\x7f\\uD83D\\uDE00\"");
  EXPECT_EQ(TJSONHelper::QuoteStr(text, true),
            std::string("\"q\\\"b\\\\s\\/\\b\\t\\n\\f\\r\x01\x1f\x7f", 23) + "\xF0\x9F\x98\x80\"");
}

TEST(JSONHelper, WritesEveryKindCompactly) {
  TAll a;
  a.id = -3;
  a.size = INT64_C(5000000000);
  a.flag = true;
  a.text = "";
  a.urls = {"a.png", "b.png"};
  a.bytes = {0, 255};
  a.inner = {"in", 1};
  a.items = {{"x", 2}, {"y", 3}};
  EXPECT_EQ(TJSONHelper::Obj2JSON(a),
            "{\"id\":-3,\"size\":5000000000,\"flag\":true,\"text\":\"\","
            "\"urls\":[\"a.png\",\"b.png\"],\"bytes\":[0,255],\"inner\":{\"name\":\"in\","
            "\"count\":1},\"items\":[{\"name\":\"x\",\"count\":2},{\"name\":\"y\",\"count\":3}],"
            "\"maybe\":null}");
}

TEST(JSONHelper, ParsesBackToTheSameValues) {
  TAll a;
  a.id = 7;
  a.size = -1;
  a.text = "中文 \"quoted\" /\n\xF0\x9F\x98\x80";
  a.urls = {"1", "2"};
  a.bytes = {1, 2, 3};
  a.inner = {"n", 9};
  a.items = {{"x", 2}};
  a.maybe = TInner{"m", 4};
  for (bool ansi : {false, true}) {
    TAll b;
    ASSERT_TRUE(TJSONHelper::JSON2Obj(TJSONHelper::Obj2JSON(a, ansi), b));
    EXPECT_EQ(a, b);
  }
}

TEST(JSONHelper, AbsentNullAndUnknownMembers) {
  TAll a;
  a.id = 99;  // the mapping starts from a fresh record
  ASSERT_TRUE(TJSONHelper::JSON2Obj(
      R"({"text":"t","unknown":{"deep":[1,2]},"size":null,"items":[null,{"name":"z"}]})", a));
  EXPECT_EQ(a.id, 0);
  EXPECT_EQ(a.size, 0);
  EXPECT_EQ(a.text, "t");
  EXPECT_TRUE(a.urls.empty());
  ASSERT_EQ(a.items.size(), 2u);
  EXPECT_EQ(a.items[1].name, "z");
  EXPECT_FALSE(a.maybe.has_value());
  EXPECT_FALSE(TJSONHelper::JSON2Obj("", a));
  EXPECT_FALSE(TJSONHelper::JSON2Obj("  null ", a));
}

TEST(JSONHelper, WrongTypesEndTheMapping) {
  for (const char* bad :
       {R"({"id":"12"})", R"({"id":1.5})", R"({"id":true})", R"({"id":4294967296})",
        R"({"text":5})", R"({"flag":"true"})", R"({"urls":"a"})", R"({"urls":[1]})",
        R"({"inner":[]})", R"({"items":[1]})", R"({"bytes":[256]})", R"([1,2])", R"("text")"}) {
    EXPECT_EQ(ErrorOf(bad), "Marshalling error") << bad;
  }
  EXPECT_EQ(ErrorOf(R"({"id":2147483647})"), "<no error>");
  EXPECT_EQ(ErrorOf(R"({"id":-2147483648})"), "<no error>");
}

TEST(JSONHelper, MalformedTextIsAnErrorNotACrash) {
  for (const char* bad : {"{", "{\"id\":}", "{'id':1}", "{\"id\":1}}", "\xff\xfe", "[[[[[[["}) {
    std::string e = ErrorOf(bad);
    EXPECT_NE(e, "<no error>") << bad;
    EXPECT_NE(e, "Marshalling error") << bad;
  }
  std::string deep(100000, '[');
  EXPECT_NE(ErrorOf(deep), "<no error>");
}
