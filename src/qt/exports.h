#pragma once
#include <QImage>
#include <string>

class ClientWidget;

// Encodes `image` as PNG and replaces `path` whole with it.
bool SaveImageAsPng(const QImage& image, const std::string& path, std::string& error);
// Puts the text screen shown in `client` on the clipboard; false when the screen shown is a graph.
bool CopyScreenText(ClientWidget& client, int screenNumber);
