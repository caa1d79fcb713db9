#include "qt/exports.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageWriter>

#include "files/file_safety.h"
#include "platform/ids.h"
#include "qt/client_widget.h"
#include "qt/qt_canvas.h"

bool SaveImageAsPng(const QImage& image, const std::string& path, std::string& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        error = "PNG encoding failed: " + writer.errorString().toStdString();
        return false;
    }
    return WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), error) == 0;
}

bool CopyScreenText(ClientWidget& client, int screenNumber) {
    if (screenNumber < screen::screen0 || screenNumber > screen::screen2) return false;
    client.paintedImage();  // brings the characters up to date with a pending repaint
    const std::string text = client.text();
    const std::u32string cells = QtCanvas::cellCharacters(text);  // as the cells show it
    QGuiApplication::clipboard()->setText(QString::fromUcs4(cells.data(), static_cast<qsizetype>(cells.size())));
    return true;
}
