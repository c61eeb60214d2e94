// Media that are fifos where a package keeps its files: opening, saving and rendering finish,
// and such a file counts as missing, never as something to wait on.

#include "DocumentTestSupport.h"
#include "MediaFixtures.h"
#include "document/DocumentPackage.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionImageObject.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <QColor>
#include <QImage>
#include <sys/stat.h>

namespace vtl::test {
namespace {

#if defined(VISTREL_DOCUMENT_TOOL) && defined(VISTREL_RENDER_TOOL)

class PackageFifo : public ::testing::Test {
protected:
    PackageFifo()
        : folder_(documentScratchFolder("fifo"))
        , media_(folder_ / "TemporaryResources") {}
    ~PackageFifo() override { docfs::remove_all(folder_); }

    // A package with a picture, a movie and a sound, whose media copies are then fifos.
    docfs::path packageWithFifos() {
        const docfs::path picturePath = folder_ / "picture.png";
        QImage image(40, 30, QImage::Format_ARGB32);
        image.fill(QColor(0, 0, 255));
        EXPECT_TRUE(image.save(QString::fromStdString(picturePath.string())));

        CompositionDocument document;
        document.setSharedMediaManager(&media_);
        CompositionObjectsContainer& container = *document.objectsContainer();
        container.setCanvasSize({160, 90});
        auto entry = [&](const std::string& path) {
            return media_.entryForResourceWithFileSystemPath(path, &document,
                                                             SharedMediaManager::ResourceCopy::None);
        };
        auto picture = makeModelObject<CompositionImageObject>(&container);
        picture->setStartTimeEndTime(0, 3);
        picture->setMediaEntry(entry(picturePath.string()));
        container.addObject(picture);
        auto movie = makeModelObject<CompositionMovieTrackObject>(&container);
        movie->setMediaEntry(entry(mediaFixture("h264-360p")));
        movie->setTrackIndex(0);
        movie->setStartTimeEndTime(0, 2);
        container.addObject(movie);
        auto sound = makeModelObject<CompositionAudioTrackObject>(&container);
        sound->setMediaEntry(entry(mediaFixture("aac-only")));
        sound->setTrackIndex(0);
        container.addObject(sound);

        const docfs::path package = folder_ / "fifos.vistrelcomposition";
        EXPECT_TRUE(document.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
        document.tearDown();
        std::size_t replaced = 0;
        for (const auto& file : docfs::directory_iterator(package / package::mediaFolderName)) {
            docfs::remove(file.path());
            EXPECT_EQ(::mkfifo(file.path().c_str(), 0600), 0);
            ++replaced;
        }
        EXPECT_EQ(replaced, 3u);
        return package;
    }

    // The tool under a time limit: a wait on a fifo shows as status 124.
    static DocumentCommandRun limited(const char* tool, const std::string& arguments) {
        return runDocumentCommand("timeout 60 " + std::string(tool) + " " + arguments + " 2>&1");
    }

    docfs::path folder_;
    SharedMediaManager media_;
};

TEST_F(PackageFifo, FifosInMediaAreMissingAndNeverWaitedOn) {
    const docfs::path package = packageWithFifos();

    const DocumentCommandRun summary = limited(VISTREL_DOCUMENT_TOOL, package.string() + " --summary");
    EXPECT_EQ(summary.exitStatus, 0) << summary.output;
    std::size_t missing = 0;
    for (std::size_t at = 0; (at = summary.output.find("(missing)", at)) != std::string::npos; ++at)
        ++missing;
    EXPECT_EQ(missing, 3u) << summary.output;

    const docfs::path saved = folder_ / "saved.vistrelcomposition";
    const DocumentCommandRun save =
        limited(VISTREL_DOCUMENT_TOOL, package.string() + " --save " + saved.string());
    EXPECT_EQ(save.exitStatus, 0) << save.output;
    const DocumentCommandRun inPlace =
        limited(VISTREL_DOCUMENT_TOOL, package.string() + " --save " + package.string());
    EXPECT_EQ(inPlace.exitStatus, 0) << inPlace.output;

    const DocumentCommandRun render = limited(VISTREL_RENDER_TOOL, package.string() + " --time 1 --out " +
                                                                       (folder_ / "frame.png").string());
    EXPECT_EQ(render.exitStatus, 0) << render.output;
}

#endif

} // namespace
} // namespace vtl::test
