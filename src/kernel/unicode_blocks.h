// The two compressed collation tables the library carries: the index table
// (one position per code point) and the element table. Each block is the
// unpacked size (unsigned 64-bit little-endian), five LZMA property bytes
// and the raw LZMA stream. Generated into unicode_blocks.cpp by
// tools/gen_collation_tables.py.
#pragma once

#include <cstddef>

extern const unsigned char kCollationIndexBlock[];
extern const size_t kCollationIndexBlockSize;
extern const unsigned char kCollationElementBlock[];
extern const size_t kCollationElementBlockSize;
