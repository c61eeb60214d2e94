// The package tool: a summary of a composition or recording package, a save of either as a
// composition package, and one-line failures with their exit statuses.

#include "DocumentTestSupport.h"
#include "document/DocumentPackage.h"
#include "model/SharedMediaManager.h"
#include "recorder/synthetic/SyntheticRecording.h"

namespace vtl::test {
namespace {

#ifdef VISTREL_DOCUMENT_TOOL

class DocumentTool : public ::testing::Test {
protected:
    DocumentTool()
        : folder_(documentScratchFolder("tool")) {}
    ~DocumentTool() override { docfs::remove_all(folder_); }

    std::string recording() {
        const docfs::path path = folder_ / "tool.vistrelRecord";
        SyntheticRecordingSettings settings;
        settings.screen.width = 96;
        settings.screen.height = 64;
        settings.framesPerSecond = 5;
        settings.seconds = 1;
        EXPECT_TRUE(writeSyntheticRecording(path.string(), settings).ok());
        return path.string();
    }

    static DocumentCommandRun tool(const std::string& arguments, const char* streams = "2>&1") {
        return runDocumentCommand(std::string(VISTREL_DOCUMENT_TOOL) + " " + arguments + " " + streams);
    }

    docfs::path folder_;
};

TEST_F(DocumentTool, ARecordingBecomesAnUntitledCompositionAndIsSaved) {
    const std::string input = recording();
    const DocumentCommandRun summary = tool(input + " --summary", "2>/dev/null");
    EXPECT_EQ(summary.exitStatus, 0);
    EXPECT_NE(summary.output.find("canvas 96 x 64"), std::string::npos) << summary.output;
    EXPECT_NE(summary.output.find("CompositionVistrelTrack"), std::string::npos) << summary.output;

    const docfs::path saved = folder_ / "from-recording.vistrelcomposition";
    const DocumentCommandRun save = tool(input + " --save " + saved.string());
    EXPECT_EQ(save.exitStatus, 0) << save.output;
    EXPECT_EQ(save.output, "");
    EXPECT_TRUE(docfs::exists(saved / "composition"));
    EXPECT_TRUE(docfs::exists(saved / "Icon.png"));
    std::size_t copies = 0;
    for ([[maybe_unused]] const auto& file : docfs::directory_iterator(saved / "media"))
        ++copies;
    EXPECT_EQ(copies, 1u) << "the recording package is copied into the composition";

    // The saved composition opens with the tool in turn, and saves over itself.
    const DocumentCommandRun reopened = tool(saved.string() + " --save " + saved.string(), "2>&1 >/dev/null");
    EXPECT_EQ(reopened.exitStatus, 0) << reopened.output;
}

TEST_F(DocumentTool, InTheApplicationARecordingOpensUntitledWithoutUndo) {
    SharedMediaManager media(folder_ / "TemporaryResources");
    CompositionDocument document;
    document.setSharedMediaManager(&media);
    ASSERT_TRUE(document.readFromURL(recording(), package::recordingTypeName).ok());
    EXPECT_FALSE(document.fileURL());
    EXPECT_EQ(document.objectsContainer()->canvasSize(), Size(96, 64));
    EXPECT_EQ(document.objectsContainer()->allObjects().size(), 1u);
    EXPECT_FALSE(document.undoManager()->canUndo());
    EXPECT_EQ(media.entriesForDocument(&document).size(), 1u);
    document.tearDown();
}

TEST_F(DocumentTool, BadInputFailsWithOneLine) {
    struct Case {
        std::string arguments;
        int exitStatus;
        const char* says;
    };
    const Case cases[] = {
        {"", 2, "no input given"},
        {"a b", 2, "only one input"},
        {"a --frobnicate", 2, "unknown option --frobnicate"},
        {"a --save", 2, "--save needs a value"},
        {(folder_ / "missing.vistrelcomposition").string(), 1, "is not a package"},
        {(folder_ / "missing.vistrelRecord").string(), 1, "is not there or is not a package"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const DocumentCommandRun run = tool(c.arguments, "2>&1 >/dev/null");
        EXPECT_EQ(run.exitStatus, c.exitStatus);
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_EQ(run.output.rfind("vistrel-document: ", 0), 0u) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
    // A save that cannot be made: the output lies in a folder that does not exist.
    const std::string input = recording();
    const DocumentCommandRun run = tool(
        input + " --save " + (folder_ / "no" / "such" / "x.vistrelcomposition").string(), "2>&1 >/dev/null");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;

    // A recording saved onto itself is refused before anything is written into it, and no message
    // names a temporary of the save.
    const auto before = documentTreeContents(input);
    const DocumentCommandRun onto = tool(input + " --save " + input, "2>&1 >/dev/null");
    EXPECT_EQ(onto.exitStatus, 1);
    EXPECT_EQ(onto.output.rfind("vistrel-document: ", 0), 0u) << onto.output;
    EXPECT_EQ(onto.output.find(".vistrel-"), std::string::npos) << onto.output;
    EXPECT_EQ(documentTreeContents(input), before);
    EXPECT_FALSE(docfs::exists(docfs::path(input) / "media"));
}

#endif

} // namespace
} // namespace vtl::test
