// Profile files: INI text in 1251, one value read or written by section and
// key, names matched without regard to case, as the Windows profile routines do.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace drs {

// A failed write: "Unable to write to <file>".
class EIniWriteError : public std::runtime_error {
 public:
  explicit EIniWriteError(const std::string& fileName, const std::string& reason = {});
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// The parsed content of one profile file; no file access.
class IniDocument {
 public:
  static constexpr size_t kMaxValueChars = 2047;

  static IniDocument Parse(std::string_view utf8Text);
  std::string Serialize() const;  // UTF-8, CR LF line ends

  // False when the section or key is absent. Values come trimmed, with one
  // pair of enclosing quotes removed and cut to kMaxValueChars characters.
  bool Read(std::string_view section, std::string_view key, std::string& value) const;
  bool SectionExists(std::string_view section) const;
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;
  // Every key and cleaned value of the section, in file order.
  std::vector<std::pair<std::string, std::string>> Values(std::string_view section) const;
  void Write(std::string_view section, std::string_view key, std::string_view value);
  // Adds a key at the end of the section without looking for an existing one.
  void Append(std::string_view section, std::string_view key, std::string_view value);
  void EraseSection(std::string_view section);

 private:
  struct Entry {
    std::string key;    // empty for a line that is not key=value
    std::string value;  // raw text after "=" (or the whole line)
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  Section* Find(std::string_view section);
  const Section* Find(std::string_view section) const;

  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
};

// A profile file on disk. Every read sees the file as it is now (a cached
// parse is reused while the file is unchanged); every write rewrites the
// file atomically, so other writers' changes are never lost.
class IniFile {
 public:
  explicit IniFile(std::string fileName);
  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Whole numbers as the profile layer reads them: decimal, $hex or 0xhex;
  // anything else gives the default.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void EraseSection(std::string_view section);
  // Several changes in one rewrite of the file.
  void Edit(const std::function<void(IniDocument&)>& change);

  // The current content (reloaded when the file changed).
  const IniDocument& Document() const;

 private:
  void Store(const IniDocument& doc);

  std::string fileName_;
  mutable IniDocument cache_;
  mutable bool cached_ = false;
  mutable long long stamp_[4] = {0, 0, 0, 0};
};

}  // namespace drs
