#pragma once
// Draws one picture scaled into its whole bounds. Owned by its parent widget.

#include <QImage>
#include <QWidget>

namespace vtl {

class VTLSimpleImageView : public QWidget {
public:
    explicit VTLSimpleImageView(QWidget* parent);
    void setImage(QImage image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

} // namespace vtl
