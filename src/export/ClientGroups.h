// The client squeeze's grouping of export lines by account, security code
// and buy/sell code, in a hash table of its own (see ClientGroups.cpp for
// why it is not a library's).
#pragma once

#include <cstdint>

#include "utils/Pages.h"

namespace drs {

class ExportLines;

// Flags the first line of each group in `ClientGroupOf`'s result.
constexpr uint32_t kFirstOfGroup = uint32_t(1) << 31;

// The group of each of `lines`' lines, numbered as the groups are first
// met; the group's first line has kFirstOfGroup added.
HugePageVector<uint32_t> ClientGroupOf(const ExportLines& lines);

}  // namespace drs
