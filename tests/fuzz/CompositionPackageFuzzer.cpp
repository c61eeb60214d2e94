// Opens fuzzed composition packages the way the application does: the input's first byte picks
// which side files the package has (the media marker, a media file, a stray speech file), the
// rest is its "composition" file. The open must fail cleanly or succeed with entries that stay
// inside the package, and a package it opened must save again.

#include "FuzzGuiApplication.h"
#include "document/CompositionDocument.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/Log.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path& fuzzFolder() {
    static const fs::path folder = [] {
        vtl::setLogSink([](std::string_view) {});
        fs::path made =
            fs::temp_directory_path() / ("composition-package-fuzzer-" + std::to_string(::getpid()));
        fs::remove_all(made);
        fs::create_directories(made);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(fs::temp_directory_path() /
                               ("composition-package-fuzzer-" + std::to_string(::getpid())),
                           ignored);
        });
        return made;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vtl::fuzz::ensureGuiApplication();
    if (size == 0) return 0;
    const fs::path package = fuzzFolder() / "input.vistrelcomposition";
    std::error_code error;
    fs::remove_all(package, error);
    fs::remove_all(fuzzFolder() / "saved.vistrelcomposition", error);
    fs::create_directories(package / "media");
    const std::uint8_t layout = data[0];
    if (layout & 1) std::ofstream(package / "mediaClean");
    if (layout & 2) std::ofstream(package / "media" / "clip.txt") << "media";
    if (layout & 4) {
        fs::create_directories(package / "GeneratedSpeech");
        std::ofstream(package / "GeneratedSpeech" / "stray.aiff") << "speech";
    }
    std::ofstream(package / "composition", std::ios::binary)
        .write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));

    vtl::SharedMediaManager media(fuzzFolder() / "TemporaryResources");
    vtl::CompositionDocument document;
    document.setSharedMediaManager(&media);
    if (document.readFromURL(package.string()).ok()) {
        for (const auto& entry : media.entriesForDocument(&document)) {
            const std::string path = entry->dataPath();
            if (!path.empty() && !vtl::pathIsInsideFolder(path, package / "media")) std::abort();
        }
        (void)document.writeSafelyToURL((fuzzFolder() / "saved.vistrelcomposition").string(),
                                        vtl::PackageIcon::Skip);
    }
    document.tearDown();
    return 0;
}
