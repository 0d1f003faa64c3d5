#include "profile/IniFile.h"

#include "platform/Files.h"
#include "utils/Cp1251.h"
#include "utils/FileIO.h"
#include "utils/NumberText.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

namespace {

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::string CleanValue(std::string_view raw) {
  std::string_view v = Trim(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return LeftChars(v, IniDocument::kMaxValueChars);
}

}  // namespace

EIniWriteError::EIniWriteError(const std::string& fileName, const std::string& reason)
    : std::runtime_error("Unable to write to " + fileName), reason_(reason) {}

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument doc;
  Section* current = nullptr;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    bool last = end >= text.size();
    pos = end + 1;
    if (last && line.empty()) break;
    std::string_view t = Trim(line);
    if (!t.empty() && t.front() == '[') {
      size_t close = t.find(']');
      std::string name(
          Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      doc.sections_.push_back(Section{name, {}});
      current = &doc.sections_.back();
      continue;
    }
    size_t eq = line.find('=');
    Entry entry;
    if (eq != std::string_view::npos && !Trim(line.substr(0, eq)).empty()) {
      entry.key = std::string(Trim(line.substr(0, eq)));
      entry.value = std::string(line.substr(eq + 1));
    } else {
      entry.value = std::string(line);
    }
    if (current) {
      if (entry.key.empty() && Trim(entry.value).empty()) continue;  // blank lines are layout only
      current->entries.push_back(std::move(entry));
    } else {
      doc.preamble_.push_back(std::string(line));
    }
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (const std::string& line : preamble_) out += line + "\r\n";
  bool first = preamble_.empty();
  for (const Section& s : sections_) {
    if (!first) out += "\r\n";
    first = false;
    out += "[" + s.name + "]\r\n";
    for (const Entry& e : s.entries) {
      out += e.key.empty() ? e.value : e.key + "=" + e.value;
      out += "\r\n";
    }
  }
  return out;
}

IniDocument::Section* IniDocument::Find(std::string_view section) {
  for (Section& s : sections_) {
    if (SameText(s.name, section)) return &s;
  }
  return nullptr;
}

const IniDocument::Section* IniDocument::Find(std::string_view section) const {
  return const_cast<IniDocument*>(this)->Find(section);
}

bool IniDocument::Read(std::string_view section, std::string_view key, std::string& value) const {
  const Section* s = Find(section);
  if (!s) return false;
  for (const Entry& e : s->entries) {
    if (!e.key.empty() && SameText(e.key, key)) {
      value = CleanValue(e.value);
      return true;
    }
  }
  return false;
}

bool IniDocument::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = Find(section)) {
    for (const Entry& e : s->entries) {
      if (!e.key.empty()) names.push_back(e.key);
    }
  }
  return names;
}

std::vector<std::pair<std::string, std::string>> IniDocument::Values(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> values;
  if (const Section* s = Find(section)) {
    for (const Entry& e : s->entries) {
      if (!e.key.empty()) values.emplace_back(e.key, CleanValue(e.value));
    }
  }
  return values;
}

void IniDocument::Append(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = Find(section);
  if (!s) {
    sections_.push_back(Section{std::string(section), {}});
    s = &sections_.back();
  }
  s->entries.push_back(Entry{std::string(key), std::string(value)});
}

void IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = Find(section);
  if (!s) {
    sections_.push_back(Section{std::string(section), {}});
    s = &sections_.back();
  }
  for (Entry& e : s->entries) {
    if (!e.key.empty() && SameText(e.key, key)) {
      e.value = std::string(value);
      return;
    }
  }
  s->entries.push_back(Entry{std::string(key), std::string(value)});
}

void IniDocument::EraseSection(std::string_view section) {
  for (auto it = sections_.begin(); it != sections_.end();) {
    it = SameText(it->name, section) ? sections_.erase(it) : it + 1;
  }
}

IniFile::IniFile(std::string fileName) : fileName_(std::move(fileName)) {}

const IniDocument& IniFile::Document() const {
  platform::FileInfo st;
  long long stamp[4] = {-1, 0, 0, 0};
  if (platform::PathInfo(fileName_, st) && st.regular) {
    stamp[0] = static_cast<long long>(st.file);
    stamp[1] = static_cast<long long>(st.size);
    stamp[2] = static_cast<long long>(st.mtimeNs / 1000000000);
    stamp[3] = static_cast<long long>(st.mtimeNs % 1000000000);
  }
  if (cached_ && std::equal(stamp, stamp + 4, stamp_)) return cache_;
  std::string bytes;
  // A missing or unreadable file reads as empty.
  if (stamp[0] == -1 || !ReadFileBytes(fileName_, bytes)) bytes.clear();
  cache_ = IniDocument::Parse(Cp1251ToUtf8(bytes));
  std::copy(stamp, stamp + 4, stamp_);
  cached_ = true;
  return cache_;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  std::string value;
  if (Document().Read(section, key, value)) return value;
  return LeftChars(def, IniDocument::kMaxValueChars);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  std::string text = ReadString(section, key, "");
  int value;
  return TryStrToInt(text, value) ? value : def;
}

bool IniFile::SectionExists(std::string_view section) const { return Document().SectionExists(section); }

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  std::string value;
  return Document().Read(section, key, value);
}

void IniFile::Edit(const std::function<void(IniDocument&)>& change) {
  IniDocument doc = Document();
  change(doc);
  Store(doc);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Edit([&](IniDocument& doc) { doc.Write(section, key, value); });
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::EraseSection(std::string_view section) {
  Edit([&](IniDocument& doc) { doc.EraseSection(section); });
}

void IniFile::Store(const IniDocument& doc) {
  std::string reason;
  if (fileName_.empty() || !WriteFileAtomic(fileName_, Utf8ToCp1251(doc.Serialize()), &reason)) {
    throw EIniWriteError(fileName_, reason);
  }
  cached_ = false;
}

}  // namespace drs
