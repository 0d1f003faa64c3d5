// Memory pages of large buffers: huge pages for a buffer about to be filled,
// and the unused capacity of a text given back.
#pragma once

#include <cstddef>
#include <string>

namespace drs {

// Asks for huge pages for the whole 2 MiB blocks inside [data, data+size) not
// yet touched: a report read into them costs a fault per 2 MiB instead of one
// per 4 KiB. Only advice; nothing changes where it is not followed.
void AdviseHugePages(const void* data, size_t size);

// Gives the whole pages of the text's unused capacity back to the system;
// the text and its capacity stay (such pages read as zeros when used again).
void ReleaseUnusedPages(std::string& text);

}  // namespace drs
