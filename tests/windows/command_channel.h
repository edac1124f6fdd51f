// A test-only way in for the Windows end-to-end test: the program built with it
// (vorkel-configurator-driven.exe, never shipped) reads commands from commands.txt beside itself
// and answers in replies.txt, so that a script on the Linux side of wine can press its buttons,
// fill its fields and read its caption as a person would, and sees every box it shows (each
// answered at once: OK, and "yes" to a confirmation).
//
// Commands, one a line, carried out in order, each answered with one line:
//   click <button>          clicks it once it is enabled and no exchange is running
//   set <edit|combo> <text> types the text into an edit, or picks the combo item with it
//   read <widget>           "text <widget> <its text>"
//   firmware <file>         the file the firmware dialog will return
//   idle                    waits until no exchange is running (a click's request answered)
//   caption <text>          waits until the caption holds the text: "caption <caption>"
// Boxes are answered with "box <title>: <text>". A command that cannot be carried out (no
// such widget, a wait that took over a minute) is answered with "failed <command>".
#pragma once

#include <memory>

class QWidget;

namespace vorkel {

class MessageBoxes;
struct MainFormEnvironment;
class TmainForm;

class CommandChannel {
public:
    CommandChannel();
    ~CommandChannel();
    CommandChannel(const CommandChannel&) = delete;
    CommandChannel& operator=(const CommandChannel&) = delete;

    // Before the window exists: the boxes and the firmware dialog go through the channel.
    void prepare(MainFormEnvironment& environment);
    // Starts reading commands for the window.
    void attach(TmainForm& window);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vorkel
