// The program's hash table. absl's flat table where the build has absl
// (Debian's libabsl-dev): the turnover scan takes a tenth fewer instructions
// than with the standard table. The Windows cross-build has no absl to link
// and takes the standard one; both give the same results.
#pragma once

#include <functional>

#if DRS_HAVE_ABSL
#include "absl/container/flat_hash_map.h"
#else
#include <unordered_map>
#endif

namespace drs {

#if DRS_HAVE_ABSL
template <class Key, class Value, class Hash = absl::Hash<Key>, class Equal = std::equal_to<Key>>
using HashMap = absl::flat_hash_map<Key, Value, Hash, Equal>;
#else
template <class Key, class Value, class Hash = std::hash<Key>, class Equal = std::equal_to<Key>>
using HashMap = std::unordered_map<Key, Value, Hash, Equal>;
#endif

}  // namespace drs
