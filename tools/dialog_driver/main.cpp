// dialog-driver: works the running tester dialog for a script or a test, one command a line on
// standard input, one answer line for each on standard output.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>

#include "tools/dialog_driver/DialogDriver.h"

namespace {

const char kUsage[] =
    "Usage: dialog-driver [--help]\n"
    "\n"
    "Works the running \"Velkor Autoguider tester\" dialog through its controls, as a person\n"
    "would. Reads one command a line from standard input and writes exactly one answer line\n"
    "for each to standard output; exits when the input ends. ID is a control id, in decimal.\n"
    "\n"
    "  wait MS             wait up to MS ms for the dialog to show    ok | missing\n"
    "  exists              whether the dialog is still there          1 | 0\n"
    "  gone MS             wait up to MS ms for the dialog to go      ok | present\n"
    "  count ID            items of a combo box                       number\n"
    "  item ID INDEX       text of a combo box item                   text\n"
    "  selected ID         selected item of a combo box, -1 if none   number\n"
    "  select ID INDEX     choose a combo box item                    ok\n"
    "  type ID TEXT        replace the text of an edit control        ok\n"
    "  text ID             text of any control                        text\n"
    "  click ID            click a button                             ok | hung\n"
    "  checked ID          whether a button is checked                1 | 0\n"
    "  enabled ID          whether a control can be operated          1 | 0\n"
    "  visible ID          whether a control is shown                 1 | 0\n"
    "  enter, escape       press the key on the focused control       ok\n"
    "  close               close the dialog with its close box        ok\n"
    "                      (these three do not wait for the effect: poll, or use 'gone')\n"
    "  screenshot PATH     save the dialog's image as a .bmp file     ok | failed\n"
    "  sleep MS            pause                                      ok\n"
    "\n"
    "Texts in answers, and TEXT in commands, write a backslash as \\\\, a line feed as \\n, a\n"
    "carriage return as \\r and a tab as \\t, so that each stays on one line.\n"
    "\n"
    "select, type and click answer 'hidden' or 'disabled' when a person could not operate the\n"
    "control, and 'hung' when the dialog stopped answering. Any command that needs the dialog\n"
    "answers 'error: no dialog' before 'wait' has found it or after it has gone, and\n"
    "'error: no control ID' for an id the dialog does not have. Other mistakes are answered\n"
    "with a line beginning 'error:'.\n";

void answer(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string escape(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        case '\t': escaped += "\\t"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string unescape(const std::string& text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        switch (text[++i]) {
        case '\\': plain += '\\'; break;
        case 'n': plain += '\n'; break;
        case 'r': plain += '\r'; break;
        case 't': plain += '\t'; break;
        default:
            plain += '\\';
            plain += text[i];
        }
    }
    return plain;
}

// A command line taken apart word by word; rest() is what is left, as it was written.
class Words {
public:
    explicit Words(std::string line) : line_(std::move(line)) {}

    std::string next()
    {
        skipSpaces();
        const std::size_t start = position_;
        while (position_ < line_.size() && line_[position_] != ' ' && line_[position_] != '\t') {
            ++position_;
        }
        return line_.substr(start, position_ - start);
    }

    bool nextNumber(int& number)
    {
        const std::string word = next();
        const char* end = word.data() + word.size();
        const auto parsed = std::from_chars(word.data(), end, number);
        return !word.empty() && parsed.ec == std::errc() && parsed.ptr == end;
    }

    // Everything after the single space that ends the last word.
    std::string rest() const
    {
        const std::size_t start = position_ < line_.size() ? position_ + 1 : position_;
        return line_.substr(start);
    }

    bool atEnd()
    {
        skipSpaces();
        return position_ == line_.size();
    }

private:
    void skipSpaces()
    {
        while (position_ < line_.size() && (line_[position_] == ' ' || line_[position_] == '\t')) {
            ++position_;
        }
    }

    std::string line_;
    std::size_t position_ = 0;
};

class Session {
public:
    std::string run(const std::string& line)
    {
        Words words(line);
        const std::string command = words.next();
        if (command.empty()) {
            return "error: empty command";
        }
        if (command == "wait") {
            int ms = 0;
            if (!words.nextNumber(ms) || !words.atEnd()) {
                return "error: usage: wait MS";
            }
            return driver_.waitForDialog(ms) ? "ok" : "missing";
        }
        if (command == "sleep") {
            int ms = 0;
            if (!words.nextNumber(ms) || ms < 0 || !words.atEnd()) {
                return "error: usage: sleep MS";
            }
            Sleep(static_cast<DWORD>(ms));
            return "ok";
        }
        if (command == "gone") {
            int ms = 0;
            if (!words.nextNumber(ms) || !words.atEnd()) {
                return "error: usage: gone MS";
            }
            return driver_.waitUntilGone(ms) ? "ok" : "present";
        }
        if (command == "exists") {
            return words.atEnd() ? flag(driver_.exists()) : "error: usage: exists";
        }
        if (command == "close" || command == "enter" || command == "escape") {
            if (!words.atEnd()) {
                return "error: usage: " + command;
            }
            if (!driver_.exists()) {
                return "error: no dialog";
            }
            if (command == "close") {
                driver_.close();
            } else if (command == "enter") {
                driver_.pressEnter();
            } else {
                driver_.pressEscape();
            }
            return "ok";
        }
        if (command == "screenshot") {
            const std::string path = words.rest();
            if (path.empty()) {
                return "error: usage: screenshot PATH";
            }
            if (!driver_.exists()) {
                return "error: no dialog";
            }
            return driver_.saveScreenshot(path) ? "ok" : "failed";
        }
        return runOnControl(command, words);
    }

private:
    static std::string flag(bool value) { return value ? "1" : "0"; }

    // Commands whose first argument is a control id.
    std::string runOnControl(const std::string& command, Words& words)
    {
        static const char* const kUsages[][2] = {
            {"count", "count ID"},         {"item", "item ID INDEX"},
            {"selected", "selected ID"},   {"select", "select ID INDEX"},
            {"type", "type ID TEXT"},      {"text", "text ID"},
            {"click", "click ID"},         {"checked", "checked ID"},
            {"enabled", "enabled ID"},     {"visible", "visible ID"},
        };
        const char* usage = nullptr;
        for (const auto& entry : kUsages) {
            if (command == entry[0]) {
                usage = entry[1];
            }
        }
        if (!usage) {
            return "error: unknown command " + command;
        }
        const std::string usageError = std::string("error: usage: ") + usage;
        int id = 0;
        if (!words.nextNumber(id)) {
            return usageError;
        }
        int index = 0;
        const bool takesIndex = command == "item" || command == "select";
        if (takesIndex && !words.nextNumber(index)) {
            return usageError;
        }
        if (command != "type" && !words.atEnd()) {
            return usageError;
        }
        if (!driver_.exists()) {
            return "error: no dialog";
        }
        if (!driver_.hasControl(id)) {
            return "error: no control " + std::to_string(id);
        }
        if (takesIndex && (index < 0 || index >= driver_.itemCount(id))) {
            return "error: no item " + std::to_string(index);
        }

        if (command == "count") {
            return std::to_string(driver_.itemCount(id));
        }
        if (command == "item") {
            return escape(driver_.itemText(id, index));
        }
        if (command == "selected") {
            return std::to_string(driver_.selectedIndex(id));
        }
        if (command == "text") {
            return escape(driver_.text(id));
        }
        if (command == "checked") {
            return flag(driver_.isChecked(id));
        }
        if (command == "enabled") {
            return flag(driver_.isEnabled(id));
        }
        if (command == "visible") {
            return flag(driver_.isVisible(id));
        }

        // What is left acts on the control, which a person can do only to one shown and enabled.
        if (!driver_.isVisible(id)) {
            return "hidden";
        }
        if (!driver_.isEnabled(id)) {
            return "disabled";
        }
        bool done = false;
        if (command == "select") {
            done = driver_.select(id, index);
        } else if (command == "type") {
            done = driver_.type(id, unescape(words.rest()));
        } else {
            done = driver_.click(id);
        }
        if (done) {
            return "ok";
        }
        return driver_.exists() ? "hung" : "error: no dialog";
    }

    DialogDriver driver_;
};

}  // namespace

int main(int argc, char** argv)
{
    // Lines written end in a bare line feed, whatever reads them; commands may end in either.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);

    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "dialog-driver: unknown argument %s\n\n%s", argv[i], kUsage);
        return 2;
    }

    Session session;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        answer(session.run(line));
    }
    return 0;
}
