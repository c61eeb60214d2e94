#include "TestPackage.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <stdexcept>

namespace vtl::test {

Picture smoothPicture(std::size_t width, std::size_t height, int seed) {
    Picture p{width, height, std::vector<std::uint8_t>(width * height * 4)};
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x) {
            std::uint8_t* px = p.at(x, y);
            px[0] = static_cast<std::uint8_t>(128 + 90 * std::sin(x / 37.0 + seed * 0.7));
            px[1] = static_cast<std::uint8_t>(128 + 90 * std::cos(y / 29.0 + seed * 1.3));
            px[2] = static_cast<std::uint8_t>(128 + 90 * std::sin((x + y) / 53.0 - seed * 0.4));
            px[3] = 255;
        }
    return p;
}

void copyBlock(const Picture& from, std::size_t sx, std::size_t sy, Picture& to, std::size_t dx,
               std::size_t dy, std::size_t w, std::size_t h) {
    for (std::size_t r = 0; r < h; ++r)
        std::memcpy(to.at(dx, dy + r), from.at(sx, sy + r), w * 4);
}

namespace {

std::vector<std::uint8_t> encode(const Picture& picture, std::size_t x, std::size_t y, std::size_t w,
                                 std::size_t h, int quality, bool tables, bool grey = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    if (grey) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.write_JFIF_header = FALSE;
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (!tables) jpeg_suppress_tables(&cinfo, TRUE);
    jpeg_start_compress(&cinfo, tables ? TRUE : FALSE);
    for (std::size_t r = 0; r < h; ++r) {
        JSAMPROW row = const_cast<std::uint8_t*>(picture.at(x, y + r));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

} // namespace

std::vector<std::uint8_t> encodeTablelessJPEG(const Picture& picture, std::size_t x, std::size_t y,
                                              std::size_t w, std::size_t h, int quality) {
    return encode(picture, x, y, w, h, quality, false);
}

std::vector<std::uint8_t> encodeFullJPEG(const Picture& picture, std::size_t x, std::size_t y, std::size_t w,
                                         std::size_t h, int quality) {
    return encode(picture, x, y, w, h, quality, true);
}

std::vector<std::uint8_t> encodeTablelessGreyJPEG(const Picture& picture, std::size_t x, std::size_t y,
                                                  std::size_t w, std::size_t h, int quality) {
    return encode(picture, x, y, w, h, quality, false, true);
}

PictureDifference compareBGR(const std::uint8_t* a, const std::uint8_t* b, std::size_t width,
                             std::size_t height) {
    PictureDifference d;
    double sum = 0;
    for (std::size_t i = 0; i < width * height; ++i)
        for (int c = 0; c < 3; ++c) {
            const int diff = std::abs(int(a[i * 4 + c]) - int(b[i * 4 + c]));
            d.maximum = std::max(d.maximum, diff);
            sum += diff;
        }
    d.mean = (width > 0 && height > 0) ? sum / double(width * height * 3) : 0.0;
    return d;
}

TestPackage::TestPackage(std::size_t width, std::size_t height, std::uint64_t keyFrameRate)
    : header_(makeRecordingHeader(width, height, keyFrameRate, 1.0f)) {
    for (const char* name : {"vtlmeta", "vtldata", "vtldirectory", "thumbmeta", "thumbdata"})
        files_[name];
}

void TestPackage::append(const std::string& name, const std::uint8_t* data, std::size_t size) {
    auto& file = files_[name];
    file.insert(file.end(), data, data + size);
}

void TestPackage::appendEntry(bool key, std::uint64_t ticks) {
    if (files_["vtlmeta"].empty()) {
        const auto header = serializeHeader(header_);
        append("vtlmeta", header.data(), header.size());
    }
    DirectoryEntry entry{frameCount_, ticks, files_["vtlmeta"].size(), files_["vtldata"].size(), key};
    const auto bytes = serializeDirectoryEntry(entry);
    append("vtldirectory", bytes.data(), bytes.size());
}

void TestPackage::addKeyFrame(const Picture& picture, std::uint64_t ticks, int quality) {
    appendEntry(true, ticks);
    FrameMetaRecord record;
    record.kind = FrameKind::Key;
    record.frameIndex = frameCount_;
    record.time = ticks;
    record.jpegQuality = static_cast<std::uint64_t>(quality);
    for (std::uint64_t i = 0; i < stripeCount(picture.height); ++i) {
        const std::uint64_t rows = stripeHeightRows(picture.height, i);
        auto stream = encodeTablelessJPEG(picture, 0, i * kStripeHeightRows, picture.width, rows, quality);
        append("vtldata", stream.data(), stream.size());
        record.stripes.push_back({i, rows, stream.size()});
        record.dataSizeBytes += stream.size();
    }
    const auto bytes = serializeFrameMetaRecord(record);
    append("vtlmeta", bytes.data(), bytes.size());
    expected_.push_back(picture);
    ++frameCount_;
    framesSinceKey_ = 1;
}

void TestPackage::addBlockFrame(const Picture& picture, const std::vector<MovedRectRecord>& moved,
                                const std::vector<ChangedBlock>& changed, std::uint64_t ticks, int quality) {
    appendEntry(false, ticks);
    FrameMetaRecord record;
    record.kind = FrameKind::Block;
    record.frameIndex = frameCount_;
    record.time = ticks;
    record.movedRects = moved;
    record.framesSinceKeyFrame = framesSinceKey_++;
    for (const ChangedBlock& c : changed) {
        auto stream = encodeTablelessJPEG(picture, c.x, c.y, c.w, c.h, quality);
        append("vtldata", stream.data(), stream.size());
        record.changedRects.push_back(
            {c.x, c.y, c.w, c.h, stream.size(), static_cast<std::uint64_t>(quality)});
        record.dataSizeBytes += stream.size();
    }
    const auto bytes = serializeFrameMetaRecord(record);
    append("vtlmeta", bytes.data(), bytes.size());
    expected_.push_back(picture);
    ++frameCount_;
}

void TestPackage::addStopFrame(std::uint64_t ticks) {
    appendEntry(false, ticks);
    const auto bytes = serializeFrameMetaRecord(makeStopFrameRecord(frameCount_, ticks, framesSinceKey_));
    append("vtlmeta", bytes.data(), bytes.size());
    expected_.push_back(expected_.empty() ? Picture{} : expected_.back());
    ++frameCount_;
}

void TestPackage::addThumbnail(double seconds, const Picture& picture) {
    const std::uint64_t factor = thumbnailFactor(picture.width, picture.height);
    const auto record = serializeThumbnailRecord({seconds, thumbCount_++});
    append("thumbmeta", record.data(), record.size());
    for (std::uint64_t y = 0; y < header_.thumbHeight; ++y)
        for (std::uint64_t x = 0; x < header_.thumbWidth; ++x) {
            std::uint8_t px[4];
            std::memcpy(px, picture.at(x * factor, y * factor), 4);
            px[3] = 255;
            append("thumbdata", px, 4);
        }
}

void TestPackage::finish() {
    header_.numberFrameEntries = frameCount_;
    const auto header = serializeHeader(header_);
    auto& meta = files_["vtlmeta"];
    if (meta.size() < header.size()) meta.resize(header.size());
    std::memcpy(meta.data(), header.data(), header.size());
}

std::shared_ptr<MemoryPackageStorage> TestPackage::storage() const {
    auto storage = std::make_shared<MemoryPackageStorage>();
    for (const auto& [name, bytes] : files_)
        storage->setFile(name, bytes);
    return storage;
}

void TestPackage::writeTo(const std::string& directory) const {
    std::filesystem::create_directories(directory);
    for (const auto& [name, bytes] : files_) {
        std::ofstream out(directory + "/" + name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
}

} // namespace vtl::test
