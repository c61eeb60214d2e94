#pragma once
// What the document tests share: a scratch folder per test, a window fake that records what the
// document asked of it, file reading, package fixtures made by the independent writer script,
// and running the tools.

#include "document/CompositionDocument.h"
#include "document/CompositionDocumentWindow.h"
#include "document/UsageStatistics.h"
#include "editing/EditingState.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vtl::test {

namespace docfs = std::filesystem;

inline docfs::path documentScratchFolder(const std::string& name) {
    const docfs::path folder =
        docfs::path(::testing::TempDir()) / ("document-" + name + "-" + std::to_string(::getpid()));
    docfs::remove_all(folder);
    docfs::create_directories(folder);
    return folder;
}

inline std::vector<std::uint8_t> documentFileBytes(const docfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every plain file of a folder tree by relative path, with its bytes.
inline std::map<std::string, std::vector<std::uint8_t>> documentTreeContents(const docfs::path& folder) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::error_code error;
    for (docfs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file())
            files[docfs::relative(it->path(), folder).string()] = documentFileBytes(it->path());
    }
    return files;
}

struct DocumentCommandRun {
    int exitStatus = -1;
    std::string output;
};

// Runs a shell command and keeps what it writes to the chosen stream(s).
inline DocumentCommandRun runDocumentCommand(const std::string& command) {
    DocumentCommandRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        run.output += buffer;
    const int status = ::pclose(pipe);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Builds the packages of tests/document/fixtures/packages.json into the folder with the
// independent writer; answers the folder.
inline docfs::path buildFixturePackages(const docfs::path& folder) {
    const std::string command = std::string("python3 ") + VISTREL_SCRIPTS_DIR +
                                "/make-composition-fixture.py " + VISTREL_TEST_SOURCE_DIR +
                                "/fixtures/packages.json " + folder.string() + " 2>&1";
    const DocumentCommandRun run = runDocumentCommand(command);
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    return folder;
}

// A window that answers from its fields and records the alerts and hand-overs it was given.
class FakeDocumentWindow : public CompositionDocumentWindow {
public:
    EditingState& editingState() override { return editing; }
    void animatedScrollToObject(const std::shared_ptr<CompositionBaseObject>&) override {}
    void takeValuesFromInspector() override { ++inspectorCommits; }
    DocumentAlertAnswer runAlert(const DocumentAlert& alert) override {
        alerts.push_back(alert);
        DocumentAlertAnswer answer;
        if (!answers.empty()) {
            answer.buttonIndex = answers.front();
            answers.erase(answers.begin());
        }
        return answer;
    }
    void beep() override {}
    PlistDictionary expandedCollapsedPropertyViewStates() const override { return states; }
    void setExpandedCollapsedPropertyViewStates(const PlistDictionary& s) override {
        states = s;
        ++handOvers;
    }
    std::vector<double> horizontalGuides() const override { return horizontal; }
    std::vector<double> verticalGuides() const override { return vertical; }
    void setGuides(const std::vector<double>& h, const std::vector<double>& v) override {
        horizontal = h;
        vertical = v;
    }
    void setPixelsPerSecond(double pps) override { pixelsPerSecond = pps; }
    Rect windowFrame() const override { return frame; }
    Size screenSize() const override { return screen; }
    void setWindowFrame(const Rect& f) override {
        frame = f;
        frameRestored = true;
    }
    void resizeWindowToGoodInitialSize() override { ++goodInitialSizes; }
    bool isPlaying() const override { return playing; }
    void stopPlay() override { playing = false; }
    void clearInspector() override { ++inspectorClears; }
    void hideAllMenus() override { ++menusHidden; }
    void tearDown() override { ++tearDowns; }
    void updateSequencerView() override { ++sequencerUpdates; }

    EditingState editing;
    int inspectorCommits = 0;
    std::vector<DocumentAlert> alerts;
    std::vector<std::size_t> answers;
    PlistDictionary states;
    int handOvers = 0;
    std::vector<double> horizontal, vertical;
    std::optional<double> pixelsPerSecond;
    Rect frame{0, 0, 0, 0};
    Size screen{1440, 900};
    bool frameRestored = false;
    int goodInitialSizes = 0;
    bool playing = false;
    int inspectorClears = 0, menusHidden = 0, tearDowns = 0, sequencerUpdates = 0;
};

class CountingStatistics : public UsageStatistics {
public:
    void count(const std::string& key) override { ++counts[key]; }
    void average(const std::string&, double) override {}
    std::map<std::string, int> counts;
};

} // namespace vtl::test
