#include "command_channel.h"

#include "app/main_form.h"
#include "app/message_boxes.h"
#include "protocol/reply_owner.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace vorkel {
namespace {

constexpr int kPollMs = 20;
constexpr qint64 kPatienceMs = 60000;

QString besideProgram(const QString& name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

} // namespace

struct CommandChannel::State final : MessageBoxes {
    QFile commands{besideProgram(QStringLiteral("commands.txt"))};
    QFile replies{besideProgram(QStringLiteral("replies.txt"))};
    QByteArray pending; // read, not yet a whole line
    QStringList queue;
    QElapsedTimer waiting; // since the command at the head of the queue was first tried
    QTimer timer;
    TmainForm* window = nullptr;
    std::filesystem::path firmwareFile;

    void reply(const QString& line) {
        replies.write(line.toUtf8() + "\r\n");
        replies.flush();
    }

    void stop(const QString& title, const QString& text) override { box(title, text); }
    bool confirm(const QString& title, const QString& text) override {
        box(title, text);
        return true;
    }
    void selfClosingInformation(const QString& title, const QString& text) override {
        box(title, text);
    }
    void notice(const QString& title, const QString& text) override { box(title, text); }
    void box(const QString& title, const QString& text) {
        reply(QStringLiteral("box %1: %2")
                  .arg(title, QString(text).replace('\r', ' ').replace('\n', ' ')));
    }

    void poll() {
        if (!commands.isOpen() && !commands.open(QIODevice::ReadOnly)) {
            return; // not written yet
        }
        pending += commands.readAll();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            queue.append(QString::fromUtf8(pending.left(end)).trimmed());
            pending.remove(0, end + 1);
        }
        while (!queue.isEmpty()) {
            if (!waiting.isValid()) {
                waiting.start();
            }
            const bool done = carryOut(queue.front());
            if (!done && waiting.elapsed() < kPatienceMs) {
                return; // tried again at the next poll
            }
            if (!done) {
                reply(QStringLiteral("failed ") + queue.front());
            }
            queue.pop_front();
            waiting.invalidate();
        }
    }

    // False while the command has to wait.
    bool carryOut(const QString& command) {
        const QString verb = command.section(' ', 0, 0);
        const QString name = command.section(' ', 1, 1);
        const QString rest = command.section(' ', 2);
        if (verb == QLatin1String("firmware")) {
            firmwareFile = std::filesystem::path(command.section(' ', 1).toStdU16String());
            reply(command);
            return true;
        }
        if (verb == QLatin1String("caption")) {
            if (!window->windowTitle().contains(command.section(' ', 1))) {
                return false;
            }
            reply(QStringLiteral("caption ") + window->windowTitle());
            return true;
        }
        if (verb == QLatin1String("idle")) {
            if (window->engine().requestState() != request_state::kIdle) {
                return false;
            }
            reply(verb);
            return true;
        }
        QWidget* widget = window->findChild<QWidget*>(name);
        if (widget == nullptr) {
            reply(QStringLiteral("failed ") + command + QStringLiteral(" (no such widget)"));
            return true;
        }
        if (verb == QLatin1String("click")) {
            auto* button = qobject_cast<QAbstractButton*>(widget);
            if (button == nullptr || !button->isEnabled() ||
                window->engine().requestState() != request_state::kIdle) {
                return false;
            }
            reply(QStringLiteral("clicked ") + name);
            button->click();
            return true;
        }
        if (verb == QLatin1String("set")) {
            if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                const int index = combo->findText(rest);
                if (index < 0) {
                    return false;
                }
                combo->setCurrentIndex(index);
            } else if (!widget->setProperty("text", rest)) { // edits, labelled ones too
                reply(QStringLiteral("failed ") + command + QStringLiteral(" (no text)"));
                return true;
            }
            reply(command);
            return true;
        }
        if (verb == QLatin1String("read")) {
            // Labels and edits (labelled ones too) have a text property; combo boxes their item.
            auto* combo = qobject_cast<QComboBox*>(widget);
            const QString text =
                combo != nullptr ? combo->currentText() : widget->property("text").toString();
            reply(QStringLiteral("text %1 %2").arg(name, text));
            return true;
        }
        reply(QStringLiteral("failed ") + command + QStringLiteral(" (unknown command)"));
        return true;
    }
};

CommandChannel::CommandChannel()
    : state_(std::make_unique<State>()) {
    state_->replies.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

CommandChannel::~CommandChannel() = default;

void CommandChannel::prepare(MainFormEnvironment& environment) {
    environment.boxes = state_.get();
    environment.chooseFirmwareFile = [state = state_.get()] {
        return std::optional(state->firmwareFile);
    };
}

void CommandChannel::attach(TmainForm& window) {
    state_->window = &window;
    QObject::connect(&state_->timer, &QTimer::timeout, [state = state_.get()] { state->poll(); });
    state_->timer.start(kPollMs);
}

} // namespace vorkel
