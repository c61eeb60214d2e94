#pragma once
// The MD5 digest of a block of bytes: a cheap 16-byte fingerprint for telling pictures apart (the
// mouse recorder's cursor pictures), not a safeguard against anyone.

#include <array>
#include <cstdint>
#include <span>

namespace vtl {

using Md5Digest = std::array<std::uint8_t, 16>;

Md5Digest md5Digest(std::span<const std::uint8_t> bytes);

} // namespace vtl
