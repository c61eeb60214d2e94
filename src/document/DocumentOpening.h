#pragma once
// Opening what a user can open as a composition, as the application does, for tools and tests: a
// recording package becomes a new, untitled composition through the recording importer (canvas of
// the recording's size, its side files added, nothing to undo); a composition package goes through
// the document's full open. Free functions; the caller owns what they make.

#include "document/CompositionDocument.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vtl {

class SharedMediaManager;

// Whether a path names a recording package (by its extension, as the document types do).
bool isRecordingPackagePath(const std::string& path);

// A new composition made from the recording package. Fails when the package holds no readable
// recording.
Result<std::unique_ptr<CompositionDocument>> openRecordingAsComposition(const std::string& packagePath,
                                                                        SharedMediaManager& media);

// The composition stored in the package (its file "composition"). Fails on a missing or damaged
// file, or a format newer than this program reads.
Result<std::unique_ptr<CompositionDocument>> openCompositionPackage(const std::string& packagePath);
// The same with the media entries registered in the given manager.
Result<std::unique_ptr<CompositionDocument>> openCompositionPackage(const std::string& packagePath,
                                                                    SharedMediaManager& media);

// Either of the two, by the package's extension, with the media entries registered in `media`: what
// the tools open a user's input with.
Result<std::unique_ptr<CompositionDocument>> openDocument(const std::string& packagePath,
                                                          SharedMediaManager& media);

// The same from the bytes of a package's "composition" file; `name` names it in messages.
Result<std::unique_ptr<CompositionDocument>> readCompositionArchive(std::span<const std::uint8_t> bytes,
                                                                    const std::string& name);

} // namespace vtl
