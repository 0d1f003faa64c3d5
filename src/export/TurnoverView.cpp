#include "export/TurnoverView.h"

#include <algorithm>
#include <numeric>
#include <string_view>

#include "engine/DbfFile.h"
#include "engine/EDBEngineError.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

// A text as the table gives it back: trailing blanks cut.
std::string_view Stored(const std::string& text) {
  const size_t end = text.find_last_not_of(' ');
  return std::string_view(text).substr(0, end == std::string::npos ? 0 : end + 1);
}

class ViewRows : public RowSource {
 public:
  ViewRows(std::shared_ptr<DbfFile> file, std::vector<DbfField> columns, std::vector<uint32_t> order)
      : file_(std::move(file)), columns_(std::move(columns)), order_(std::move(order)) {}

  int64_t RowCount() const override { return int64_t(order_.size()); }

  void ReadRow(int64_t index, std::vector<DbValue>& row) override {
    const uint32_t record = order_[size_t(index)];
    if (record < first_ || record - first_ >= count_) {
      // The records that follow this one in the table and in the view alike.
      uint32_t n = 1;
      while (n < kRun && size_t(index) + n < order_.size() && order_[size_t(index) + n] == record + n) ++n;
      count_ = 0;
      file_->ReadRecords(record, n, buffer_);
      first_ = record;
      count_ = n;
    }
    const char* rec = buffer_.data() + size_t(record - first_) * file_->RecordLength();
    row.resize(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      DbfFieldValue v;
      DecodeDbfField(columns_[i], rec, v);
      row[i] = DbValue::Of(v);
    }
  }

 private:
  static constexpr uint32_t kRun = 4096;
  std::shared_ptr<DbfFile> file_;
  std::vector<DbfField> columns_;
  std::vector<uint32_t> order_;  // record of each row
  std::string buffer_;
  uint32_t first_ = 0, count_ = 0;  // the records in the buffer
};

const DbfField& FieldNamed(const DbfFile& file, const char* name) {
  for (const DbfField& f : file.Fields())
    if (SameText(f.name, name)) return f;
  throw EDBEngineError("Файл " + file.Path() + ": нет поля " + name);
}

}  // namespace

std::unique_ptr<RowSource> TurnoverViewRows(const std::string& path, bool byAccount,
                                            const std::vector<TurnoverRow>& rows) {
  std::shared_ptr<DbfFile> file = DbfFile::Acquire(path);
  std::vector<DbfField> columns;
  for (const char* name : {"CLIENTID", "TICKER", "BUY", "SAL", "SALDO"})
    if (byAccount || std::string_view(name) != "CLIENTID") columns.push_back(FieldNamed(*file, name));
  if (file->RecordCount() != rows.size())
    throw EDBEngineError("Файл " + path + " изменен другой программой во время расчета оборотов");
  // Text values compare byte by byte; equal keys keep the table's order.
  // The rows mostly come as runs of one account each, securities in order
  // within: then only the runs are put in order.
  auto account = [&](uint32_t i) { return byAccount ? Stored(rows[i].account) : std::string_view(); };
  auto ticker = [&](uint32_t i) { return Stored(rows[i].ticker); };
  std::vector<uint32_t> runs;  // first row of each run
  bool inOrder = true;
  for (uint32_t i = 0; i < rows.size() && inOrder; ++i) {
    if (i == 0 || account(i) != account(i - 1))
      runs.push_back(i);
    else
      inOrder = ticker(i - 1) <= ticker(i);
  }
  std::vector<uint32_t> order;
  order.reserve(rows.size());
  if (inOrder) {
    std::stable_sort(runs.begin(), runs.end(),
                     [&](uint32_t a, uint32_t b) { return account(a) < account(b); });
    for (size_t r = 0; r < runs.size() && inOrder; ++r) {
      if (r > 0 && account(runs[r - 1]) == account(runs[r])) inOrder = false;  // one account in two runs
      for (uint32_t i = runs[r]; i < rows.size() && (i == runs[r] || account(i) == account(runs[r])); ++i)
        order.push_back(i);
    }
  }
  if (!inOrder) {
    order.resize(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      const int c = account(a).compare(account(b));
      return c != 0 ? c < 0 : ticker(a) < ticker(b);
    });
  }
  return std::make_unique<ViewRows>(std::move(file), std::move(columns), std::move(order));
}

}  // namespace drs
