// MD5 digests against the standard's test values, across the block boundaries.

#include "platform/foundation/Md5.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace vtl {
namespace {

std::string hex(const Md5Digest& d) {
    std::string text;
    for (std::uint8_t b : d) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

TEST(Md5, StandardTestValues) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(c.input.data()),
                                            c.input.size());
        EXPECT_EQ(hex(md5Digest(bytes)), c.digest) << c.input;
    }
    // 55, 56 and 64 bytes: the length fits in the last block, just does not, and a whole block.
    EXPECT_EQ(hex(md5Digest(std::vector<std::uint8_t>(55, 'a'))), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(hex(md5Digest(std::vector<std::uint8_t>(56, 'a'))), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(hex(md5Digest(std::vector<std::uint8_t>(64, 'a'))), "014842d480b571495a4a0363793f7367");
}

} // namespace
} // namespace vtl
