// Unpacking the embedded collation tables with liblzma.
#include "kernel/unicode_tables.h"

#include <lzma.h>

#include <cstdlib>
#include <cstring>

#include "kernel/state.h"
#include "kernel/unicode_blocks.h"

namespace {

constexpr size_t kSizeField = 8;
constexpr size_t kPropertyBytes = 5;  // lc, lp and pb in one byte, then the dictionary size
constexpr size_t kElementBytes = 8;

uint64_t LoadLittle64(const unsigned char *p) {
    uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = v << 8 | p[k];
    return v;
}

}  // namespace

unsigned char *UnicodeTables_Unpack(const unsigned char *block, size_t blockSize, size_t *size) {
    if (blockSize < kSizeField + kPropertyBytes) return nullptr;
    uint64_t n = LoadLittle64(block);
    // Far above the larger table: a corrupt size field must not turn into
    // a huge allocation.
    if (n == 0 || n > (uint64_t(1) << 26)) return nullptr;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, block + kSizeField, kPropertyBytes) != LZMA_OK) return nullptr;
    auto *out = static_cast<unsigned char *>(std::malloc(size_t(n)));
    lzma_stream stream = LZMA_STREAM_INIT;
    bool ok = out && lzma_raw_decoder(&stream, filters) == LZMA_OK;
    if (ok) {
        stream.next_in = block + kSizeField + kPropertyBytes;
        stream.avail_in = blockSize - kSizeField - kPropertyBytes;
        stream.next_out = out;
        stream.avail_out = size_t(n);
        // The stream carries no size of its own (an end marker may follow
        // the data): decoding stops when the buffer is full, and a stream
        // that ends or fails before that is rejected.
        lzma_ret r = LZMA_OK;
        while (r == LZMA_OK && stream.avail_out > 0 && stream.avail_in > 0) r = lzma_code(&stream, LZMA_RUN);
        ok = stream.avail_out == 0 && (r == LZMA_OK || r == LZMA_STREAM_END);
    }
    lzma_end(&stream);
    std::free(filters[0].options);
    if (!ok) {
        std::free(out);
        return nullptr;
    }
    *size = size_t(n);
    return out;
}

bool UnicodeTables_Valid(const unsigned char *index, size_t indexSize, const unsigned char *elements,
                         size_t elementSize) {
    if (indexSize != size_t(kUnicodeCodePoints) * 4 || elementSize == 0 || elementSize % kElementBytes) return false;
    int64_t count = int64_t(elementSize / kElementBytes);
    for (int64_t cp = 0; cp < kUnicodeCodePoints; ++cp) {
        int32_t at = UnicodeTables_Position(index, char32_t(cp));
        if (at < 0 || at >= count) return false;
        int64_t length = UnicodeTables_Field(elements + size_t(at) * kElementBytes, 3);
        if (length < 1 || at + length > count) return false;
    }
    return true;
}

void UnicodeTables_Load() {
    if (kernel.unicode.index) return;
    size_t indexSize = 0, elementSize = 0;
    unsigned char *index = UnicodeTables_Unpack(kCollationIndexBlock, kCollationIndexBlockSize, &indexSize);
    unsigned char *elements = UnicodeTables_Unpack(kCollationElementBlock, kCollationElementBlockSize, &elementSize);
    if (!index || !elements || !UnicodeTables_Valid(index, indexSize, elements, elementSize)) {
        std::free(index);
        std::free(elements);
        return;
    }
    kernel.unicode = {index, elements, int64_t(elementSize / kElementBytes)};
}

void UnicodeTables_Free() {
    std::free(const_cast<unsigned char *>(kernel.unicode.index));
    std::free(const_cast<unsigned char *>(kernel.unicode.elements));
    kernel.unicode = {};
}
