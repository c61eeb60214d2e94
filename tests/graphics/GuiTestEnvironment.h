#pragma once
// A QGuiApplication for the whole test binary (fonts and text need one), on the offscreen
// platform unless the environment names another.

#include <QGuiApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace vtl::test {

class GuiTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QGuiApplication::instance()) return;
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QGuiApplication> app_;
};

} // namespace vtl::test
