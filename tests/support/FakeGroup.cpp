#include "tests/support/FakeGroup.h"

#include <cstdlib>

namespace {

std::string HeadOf(const std::string& article) {
    return article.substr(0, article.find("\n\n") + 1);
}

std::string BodyOf(const std::string& article) {
    size_t split = article.find("\n\n");
    return split == std::string::npos ? std::string() : article.substr(split + 2);
}

std::string HeaderValue(const std::string& head, const std::string& name) {
    size_t at = head.find(name + ": ");
    if (at == std::string::npos) {
        return "";
    }
    at += name.size() + 2;
    return head.substr(at, head.find('\n', at) - at);
}

// CR LF line ends, dot-stuffing and the end line.
std::string Wire(const std::string& text) {
    std::string wire;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        wire += (line.starts_with(".") ? "." : "") + line + "\r\n";
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return wire + ".\r\n";
}

} // namespace

FakeGroup::FakeGroup(FakeNewsServer& server, const std::string& name, int64_t first,
                     std::vector<std::string> articles)
    : name_(name), first_(first), articles_(std::move(articles)) {
    for (const char* command : {"group", "xhdr", "head", "body"}) {
        server.Handle(command,
                      [this](FakeNewsSession& session, const std::string& line) { Answer(session, line); });
    }
}

void FakeGroup::Answer(FakeNewsSession& session, const std::string& line) const {
    session.Send(Reply(line));
}

std::string FakeGroup::Reply(const std::string& line) const {
    if (line.starts_with("group ")) {
        if (line.substr(6) != name_) {
            return "411 No such group\r\n";
        }
        return "211 " + std::to_string(articles_.size()) + " " + std::to_string(first_) + " " +
               std::to_string(first_ + (static_cast<int64_t>(articles_.size()) - 1)) + " " + name_ + "\r\n";
    }
    if (line.starts_with("xhdr ")) {
        return Xhdr(line);
    }
    int64_t number = 0;
    const std::string* article = Numbered(line, number);
    if (!article) {
        return "423 No such article number\r\n";
    }
    bool head = line.starts_with("head ");
    return (head ? "221 " : "222 ") + std::to_string(number) + " <" + std::to_string(number) + "@fake>\r\n" +
           Wire(head ? HeadOf(*article) : BodyOf(*article));
}

std::string FakeGroup::Xhdr(const std::string& line) const {
    std::string field = line.substr(5, line.rfind(' ') - 5);
    const char* range = line.c_str() + line.rfind(' ') + 1;
    char* dash = nullptr;
    int64_t from = std::strtoll(range, &dash, 10);
    int64_t to = *dash == '-' ? std::strtoll(dash + 1, nullptr, 10) : from;
    std::string answer = "221 " + field + " fields follow\r\n";
    for (size_t i = 0; i < articles_.size(); ++i) {
        int64_t number = first_ + static_cast<int64_t>(i);
        if (number >= from && number <= to) {
            std::string name = field == "lines" ? "Lines" : "Subject";
            answer += std::to_string(number) + " " + HeaderValue(HeadOf(articles_[i]), name) + "\r\n";
        }
    }
    return answer + ".\r\n";
}

const std::string* FakeGroup::Numbered(const std::string& line, int64_t& number) const {
    number = std::strtoll(line.c_str() + line.rfind(' ') + 1, nullptr, 10);
    if (number < first_ || number - first_ >= static_cast<int64_t>(articles_.size())) {
        return nullptr;
    }
    return &articles_[static_cast<size_t>(number - first_)];
}
