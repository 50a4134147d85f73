#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One language table: lines "key=text", keys matched without regard to case, in the order
// they were added.
class TOVLang {
 public:
  const std::string& Code() const { return FCode; }
  void SetCode(const std::string& aValue) { FCode = aValue; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& aValue) { FName = aValue; }
  std::vector<std::string>& Words() { return FWords; }
  const std::vector<std::string>& Words() const { return FWords; }
  bool Loaded() const { return FLoaded; }
  void SetLoaded(bool aValue) { FLoaded = aValue; }

 private:
  std::string FCode;
  std::string FName;
  std::vector<std::string> FWords;
  bool FLoaded = false;
};

// The language manager. T may be called from any thread while the UI thread switches
// languages: every access to the tables, the current index and the code runs under FLocker.
class TOVLangHelper {
 public:
  TOVLangHelper();
  ~TOVLangHelper();
  TOVLangHelper(const TOVLangHelper&) = delete;
  TOVLangHelper& operator=(const TOVLangHelper&) = delete;

  int32_t LangIndex(const std::string& aLangCode);
  // -1 when the table was already filled, 1 when a language file was read, 0 when only the
  // built-in table was used.
  int32_t LoadLang(const std::string& aLangCode);
  void SetLangCode(const std::string& Value);
  std::string LangCode() const;
  // The current language's text for a key; the first default given for a key is stored.
  std::string T(const std::string& aCode, const std::string& aDefText);
  // A punctuation mark in the form of the current language.
  std::string C(const std::string& aChar) const;
  static std::string GetCurrFile();
  static std::string GetCurrPath();

  // The number of tables, and a copy of one table's lines (for tests and diagnostics).
  int32_t LangCount() const;
  std::vector<std::string> WordsOf(const std::string& aLangCode) const;

 private:
  mutable std::recursive_mutex FLocker;
  std::vector<std::unique_ptr<TOVLang>> FLangList;
  std::string FLangCode = "CN";
  int32_t FLangIndex = -1;
};

// The process-wide manager (created with "CN" and no table loaded). LangHelper() throws
// ov::Error when none exists.
TOVLangHelper& LangHelper();
bool HasLangHelper();
void CreateLangHelper();
void FreeLangHelper();
// T and C of the process-wide manager; the default text and the mark itself when none exists
// (unattended runs and tests that need no tables).
std::string LangT(const std::string& aCode, const std::string& aDefText);
std::string LangC(const std::string& aChar);

// Reads a language file's lines: the encoding comes from a UTF-8 or UTF-16 byte-order mark,
// otherwise the ANSI code page. False when the file cannot be read or decoded.
bool LoadLangFile(const std::string& aFile, std::vector<std::string>& aLines);
