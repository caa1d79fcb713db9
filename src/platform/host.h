#pragma once
#include <string>
#include <vector>

class Canvas;

// A file dialog as the network file commands describe it.
struct FileDialogRequest {
    std::string title;
    std::string filter;            // "Radio Files|*.RAD|All Files|*.*"
    std::string defaultExtension;  // "RAD"
    std::string initialName;
    bool mustExist = false;
    // A save dialog asks before replacing an existing file unless told not to.
    bool askBeforeReplacing = true;
};

// What the poll tick needs of a window: repaints, the canvas for live updates, the
// status bar, and a box that opens after the tick. It never prompts.
class TickWindow {
public:
    virtual ~TickWindow() = default;

    // Ask for a repaint of the whole client area, with or without erasing it first.
    virtual void invalidate(bool erase) = 0;
    // Paint now if a repaint is pending.
    virtual void update() = 0;
    // A canvas on the window for drawing between paints (the live updates), or null.
    virtual Canvas* windowCanvas() = 0;
    virtual void setStatusText(const std::string& text) = 0;
    // A box opened once the message being handled has returned: a window timer does
    // not fire again while its own handler waits in a modal box, so a box opened
    // inside the tick would stop the polling.
    virtual void postMessageBox(const std::string& text, const std::string& title) = 0;
};

// The window-side services the core calls out through. The Qt shell shows real
// dialogs; tests script the answers.
class Host : public TickWindow {
public:
    virtual void messageBox(const std::string& text, const std::string& title) = 0;
    void postMessageBox(const std::string& text, const std::string& title) override { messageBox(text, title); }
    virtual void beep() = 0;

    // Modal prompt titled `title` with one text box pre-filled with `text`.
    // Returns true on OK, with `text` holding what was typed.
    virtual bool prompt(const std::string& title, std::string& text) = 0;
    // Modal list dialog; returns true with the chosen line in `chosen`.
    virtual bool listDialog(const std::string& title, const std::vector<std::string>& items,
                            int preselected, std::string& chosen) = 0;
    // "Select Comm Port": the lines of `ports` and, where the window can offer them,
    // the serial devices present and a typed device path. Returns true with the chosen
    // line or a device path ("/dev/...") in `chosen`.
    virtual bool commPortDialog(const std::vector<std::string>& ports, int preselected, const std::string& current,
                                std::string& chosen) {
        (void)current;
        return listDialog("Select Comm Port", ports, preselected, chosen);
    }
    // Two text boxes, pre-filled; returns true on OK.
    virtual bool subnetDialog(const std::string& title, std::string& rx, std::string& tx) = 0;
    // "REDIAL" / "CANCEL" dialog; true means REDIAL.
    virtual bool redialDialog(const std::string& title) = 0;
    // The modeless "Dialing" box.
    virtual void showDialing(bool shown) = 0;
    // Let the window breathe during a long wait on the main thread (the dial-up wait).
    virtual void pumpEvents() = 0;

    virtual bool openFileDialog(const FileDialogRequest& request, std::string& path) = 0;
    virtual bool saveFileDialog(const FileDialogRequest& request, std::string& path) = 0;
    // Saves the window's client area, as painted, as a PNG file replaced whole.
    // Returns false with `error` saying why; a host without a window has none to save.
    virtual bool saveWindowImage(const std::string& path, std::string& error) {
        (void)path;
        error = "there is no window image";
        return false;
    }
    // The About box; closes itself after 4000 ms or on OK.
    virtual void aboutDialog() = 0;

    // Watch a UDP socket and deliver message 961 when a datagram waits; -1 stops watching.
    virtual void watchUdpSocket(int fd) = 0;
    // Ends the message loop.
    virtual void quit(int exitCode) = 0;
};

// Invalidates the client area (erased first unless told otherwise) and repaints it now.
inline void Repaint(TickWindow& host, bool erase = true) {
    host.invalidate(erase);
    host.update();
}
