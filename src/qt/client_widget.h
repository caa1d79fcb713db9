#pragma once
#include <QImage>
#include <QWidget>
#include <memory>

#include "qt/qt_canvas.h"
#include "qt/screen_text.h"

struct Program;
class Host;

// The client area: every drawing goes into a backing image, and painting the
// widget only copies that image to the screen.
class ClientWidget : public QWidget {
    Q_OBJECT
public:
    ClientWidget(Program& program, Host& host, QWidget* parent = nullptr);
    ~ClientWidget() override;

    // The canvas on the backing image (kept open between paints for live updates).
    QtCanvas* canvas();
    // A repaint is pending; with erase the image is filled white before it.
    void invalidate(bool erase);
    // Extra height below the widget that counts as client area (the status bar overlaps it).
    void setOverlapBelow(int pixels);
    const QImage& image() const { return backing; }
    // The image as painted, with any pending repaint done first.
    QImage paintedImage();
    // The characters on the client area, one line per text row.
    std::string text() const { return screenText.text(); }
    // Paints into the backing image now if a repaint is pending.
    void paintPending();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    Rect clientRect() const;
    void growBacking();
    // A white image of the client area at the screen's device pixel ratio.
    QImage newBacking(int width, int height) const;

    Program& program;
    Host& host;
    QImage backing;
    ScreenText screenText;
    std::unique_ptr<QtCanvas> liveCanvas;
    bool pending = true;
    bool erasePending = true;
    int overlapBelow = 0;
};
