#include "support/scripted_host.h"

void ScriptedHost::answer(bool ok, std::string text, std::string text2) {
    answers.push_back({ok, std::move(text), std::move(text2)});
}

ScriptedHost::Answer ScriptedHost::next() {
    if (answers.empty()) return {false, {}, {}};
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedHost::invalidate(bool erase) {
    ++invalidations;
    if (erase) ++erasingInvalidations;
    events.push_back(erase ? "invalidate:erase" : "invalidate");
}

void ScriptedHost::messageBox(const std::string& text, const std::string& title) {
    shown.push_back({"message", title, text});
    events.push_back("message:" + title + ":" + text);
    if (duringMessageBox) duringMessageBox();
}

bool ScriptedHost::prompt(const std::string& title, std::string& text) {
    shown.push_back({"prompt", title, text});
    Answer a = next();
    if (a.ok) text = a.text;
    return a.ok;
}

bool ScriptedHost::listDialog(const std::string& title, const std::vector<std::string>& items,
                              int preselected, std::string& chosen) {
    shown.push_back({"list", title, {}});
    listItems = items;
    listPreselected = preselected;
    Answer a = next();
    if (a.ok) chosen = a.text;
    return a.ok;
}

bool ScriptedHost::subnetDialog(const std::string& title, std::string& rx, std::string& tx) {
    shown.push_back({"subnet", title, rx + "|" + tx});
    Answer a = next();
    if (a.ok) {
        rx = a.text;
        tx = a.text2;
    }
    return a.ok;
}

bool ScriptedHost::redialDialog(const std::string& title) {
    shown.push_back({"redial", title, {}});
    return next().ok;
}

void ScriptedHost::showDialing(bool shownNow) {
    dialingShown = shownNow;
    events.push_back(shownNow ? "dialing:show" : "dialing:hide");
}

bool ScriptedHost::openFileDialog(const FileDialogRequest& request, std::string& path) {
    shown.push_back({"open", request.title, request.initialName});
    fileRequests.push_back(request);
    Answer a = next();
    if (a.ok) path = a.text;
    return a.ok;
}

bool ScriptedHost::saveFileDialog(const FileDialogRequest& request, std::string& path) {
    shown.push_back({"save", request.title, request.initialName});
    fileRequests.push_back(request);
    Answer a = next();
    if (a.ok) path = a.text;
    return a.ok;
}

std::vector<std::string> ScriptedHost::messages() const {
    std::vector<std::string> out;
    for (const auto& s : shown)
        if (s.kind == "message") out.push_back(s.title + ": " + s.text);
    return out;
}
