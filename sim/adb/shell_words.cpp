#include "adb/shell_words.h"

#include <cctype>

namespace zsim::adb {

namespace {

class Parser {
public:
    explicit Parser(std::string_view line)
        : line_(line) {}

    ShellLine run() {
        while (pos_ < line_.size() && error_.empty()) step();
        if (error_.empty() && inQuote_ != 0) error_ = "syntax error: unterminated quoted string";
        if (error_.empty()) endWord();
        if (error_.empty() && pendingRedirect_) error_ = "syntax error: redirection without a target";
        if (error_.empty()) endCommand("");
        ShellLine out;
        if (!error_.empty()) {
            out.error = error_;
            return out;
        }
        // A trailing ";" or "&" leaves nothing behind it.
        if (!commands_.empty() && commands_.back().words.empty() && commands_.back().redirects.empty())
            commands_.pop_back();
        if (!commands_.empty() && (commands_.back().connector == ";" || commands_.back().connector == "&"))
            commands_.back().connector.clear();
        out.commands = std::move(commands_);
        return out;
    }

private:
    void step() {
        char c = line_[pos_];
        if (inQuote_ == '\'') {
            ++pos_;
            if (c == '\'')
                inQuote_ = 0;
            else
                word_ += c;
            return;
        }
        if (inQuote_ == '"') {
            ++pos_;
            if (c == '"') {
                inQuote_ = 0;
            } else if (c == '\\' && pos_ < line_.size() &&
                       std::string_view("\"\\$`\n").find(line_[pos_]) != std::string_view::npos) {
                if (line_[pos_] != '\n') word_ += line_[pos_];
                ++pos_;
            } else {
                word_ += c;
            }
            return;
        }
        switch (c) {
        case '\'':
        case '"':
            inQuote_ = c;
            inWord_ = true;
            quoted_ = true;
            ++pos_;
            return;
        case '\\':
            ++pos_;
            if (pos_ < line_.size()) {
                if (line_[pos_] != '\n') word_ += line_[pos_];
                ++pos_;
            }
            inWord_ = true;
            quoted_ = true;
            return;
        case ' ':
        case '\t':
            ++pos_;
            endWord();
            return;
        case '#':
            if (!inWord_) {
                pos_ = line_.size();
                return;
            }
            break;
        case '\n':
        case ';':
            ++pos_;
            connector(";");
            return;
        case '&':
            if (pos_ + 1 < line_.size() && line_[pos_ + 1] == '&') {
                pos_ += 2;
                connector("&&");
            } else {
                ++pos_;
                connector("&");
            }
            return;
        case '|':
            if (pos_ + 1 < line_.size() && line_[pos_ + 1] == '|') {
                pos_ += 2;
                connector("||");
            } else {
                ++pos_;
                connector("|");
            }
            return;
        case '<':
        case '>': redirect(c); return;
        default: break;
        }
        word_ += c;
        inWord_ = true;
        ++pos_;
    }

    void redirect(char c) {
        Redirect r;
        r.fd = c == '<' ? 0 : 1;
        // "2>" names the descriptor: an unquoted number right before the operator.
        if (inWord_ && !quoted_ && !word_.empty() && word_.size() < 3 &&
            word_.find_first_not_of("0123456789") == std::string::npos) {
            r.fd = std::stoi(word_);
            word_.clear();
            inWord_ = false;
        } else {
            endWord();
        }
        if (pendingRedirect_) {
            error_ = "syntax error: redirection without a target";
            return;
        }
        ++pos_;
        r.op = std::string(1, c);
        if (pos_ < line_.size() && c == '>' && (line_[pos_] == '>' || line_[pos_] == '&')) {
            r.op += line_[pos_];
            ++pos_;
        }
        current_.redirects.push_back(std::move(r));
        pendingRedirect_ = true;
    }

    void endWord() {
        if (!inWord_) return;
        if (pendingRedirect_) {
            current_.redirects.back().target = std::move(word_);
            pendingRedirect_ = false;
        } else {
            current_.words.push_back(std::move(word_));
        }
        word_.clear();
        inWord_ = false;
        quoted_ = false;
    }

    void connector(const char* op) {
        endWord();
        if (pendingRedirect_) {
            error_ = "syntax error: redirection without a target";
            return;
        }
        if (current_.words.empty() && current_.redirects.empty()) {
            // Blank lines and repeated ";" are fine; "&&" or "|" with nothing before is not.
            if (std::string_view(op) == ";") return;
            error_ = std::string("syntax error: unexpected '") + op + "'";
            return;
        }
        endCommand(op);
    }

    void endCommand(const char* op) {
        if (current_.words.empty() && current_.redirects.empty()) {
            if (!commands_.empty() && std::string_view(op).empty()) {
                const std::string& last = commands_.back().connector;
                if (last == "&&" || last == "||" || last == "|")
                    error_ = "syntax error: unexpected end of line";
            }
            return;
        }
        current_.connector = op;
        commands_.push_back(std::move(current_));
        current_ = SimpleCommand();
    }

    std::string_view line_;
    size_t pos_ = 0;
    char inQuote_ = 0;
    bool inWord_ = false;
    bool quoted_ = false;
    bool pendingRedirect_ = false;
    std::string word_;
    SimpleCommand current_;
    std::vector<SimpleCommand> commands_;
    std::string error_;
};

} // namespace

ShellLine parseShellLine(std::string_view line) { return Parser(line).run(); }

} // namespace zsim::adb
