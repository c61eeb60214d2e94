#pragma once
// A small panel with a title, a message and a spinning indicator, shown on its own or as a sheet
// of a window while a long operation runs. Its interface is built in code. Whoever creates the
// dialog owns it; the dialog owns its panel.

#include "platform/ui/SpinningProgressIndicator.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

namespace vtl {

class VTLDialog {
public:
    VTLDialog();
    ~VTLDialog();
    VTLDialog(const VTLDialog&) = delete;
    VTLDialog& operator=(const VTLDialog&) = delete;

    static std::unique_ptr<VTLDialog> dialogWithTitle(const std::string& title, const std::string& message);

    // Builds the panel and its fields (the original loads them from an interface file).
    void loadNib();
    void setTitle(const std::string& title);
    void setMessage(const std::string& message);
    void startAnimatingProgressIndicator();
    // Centred on the screen, key and in front.
    void showPanel();
    void showAsSheetInParentWindow(QWidget* window);
    // Orders the panel out, ending the sheet when it runs as one.
    void hidePanel();
    bool isRunningAsSheet() const { return isRunningAsSheet_; }

    QWidget* panel() const { return panel_; }
    QLabel* titleField() const { return titleField_; }
    QLabel* messageField() const { return messageField_; }
    SpinningProgressIndicator* progressIndicator() const { return progressIndicator_; }

private:
    QPointer<QWidget> panel_;
    QPointer<QLabel> titleField_;
    QPointer<QLabel> messageField_;
    QPointer<SpinningProgressIndicator> progressIndicator_;
    bool isRunningAsSheet_ = false;
};

} // namespace vtl
