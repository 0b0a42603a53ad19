#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/FakeNewsServer.h"

// Serves one group of numbered articles (1..n) with group, xhdr, head and body; `bodyFault` may take over a
// body request and `headFault` a head request.
class ArticleServer {
  public:
    using BodyFault = std::function<bool(FakeNewsSession&, int article, const std::string& wire)>;

    ArticleServer(FakeNewsServer& server, const std::string& group, std::vector<std::string> articles)
        : articles_(std::move(articles)) {
        server.Handle("group", [this, group](FakeNewsSession& s, const std::string& line) {
            if (line.substr(6) != group) {
                s.Send("411 No such group\r\n");
                return;
            }
            s.Send("211 " + std::to_string(articles_.size()) + " 1 " + std::to_string(articles_.size()) +
                   " " + group + "\r\n");
        });
        server.Handle("xhdr", [this](FakeNewsSession& s, const std::string& line) { Xhdr(s, line); });
        server.Handle("head", [this](FakeNewsSession& s, const std::string& line) { Text(s, line, true); });
        server.Handle("body", [this](FakeNewsSession& s, const std::string& line) { Text(s, line, false); });
    }

    // Under a lock: a program under test in another process reaches the server with nothing ordering it after
    // this call.
    void SetBodyFault(BodyFault fault) {
        std::lock_guard<std::mutex> lock(mutex_);
        bodyFault_ = std::move(fault);
    }
    void SetHeadFault(BodyFault fault) {
        std::lock_guard<std::mutex> lock(mutex_);
        headFault_ = std::move(fault);
    }
    void RefuseXhdr() { refuseXhdr_ = true; }

  private:
    std::string Part(int article, bool head) const {
        const std::string& text = articles_[article - 1];
        size_t split = text.find("\n\n");
        return head ? text.substr(0, split + 1) : text.substr(split + 2);
    }

    static std::string Wire(const std::string& text) {
        std::string wire;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            std::string line = text.substr(start, end - start);
            wire += (line.starts_with(".") ? "." : "") + line + "\r\n";
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return wire + ".\r\n";
    }

    static std::string HeaderValue(const std::string& head, const std::string& name) {
        size_t at = head.find(name + ": ");
        if (at == std::string::npos) {
            return "";
        }
        at += name.size() + 2;
        return head.substr(at, head.find('\n', at) - at);
    }

    void Xhdr(FakeNewsSession& s, const std::string& line) {
        if (refuseXhdr_) {
            s.Send("500 What?\r\n");
            return;
        }
        bool lines = line.starts_with("xhdr lines");
        int first = 0, last = 0;
        sscanf(line.c_str() + line.rfind(' ') + 1, "%d-%d", &first, &last);
        std::string answer = "221 Header follows\r\n";
        for (int n = std::max(first, 1); n <= std::min<int>(last, articles_.size()); ++n) {
            answer +=
                std::to_string(n) + " " + HeaderValue(Part(n, true), lines ? "Lines" : "Subject") + "\r\n";
        }
        s.Send(answer + ".\r\n");
    }

    void Text(FakeNewsSession& s, const std::string& line, bool head) {
        int n = atoi(line.c_str() + 5);
        if (n < 1 || n > static_cast<int>(articles_.size())) {
            s.Send("423 No such article number\r\n");
            return;
        }
        std::string wire = (head ? "221 " : "222 ") + std::to_string(n) + " <a@b>\r\n" + Wire(Part(n, head));
        if (FaultTakesOver(head, s, n, wire)) {
            return;
        }
        s.Send(wire);
    }

    std::vector<std::string> articles_;
    bool FaultTakesOver(bool head, FakeNewsSession& s, int article, const std::string& wire) {
        BodyFault fault;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            fault = head ? headFault_ : bodyFault_;
        }
        return fault && fault(s, article, wire);
    }

    std::mutex mutex_;
    BodyFault bodyFault_;
    BodyFault headFault_;
    bool refuseXhdr_ = false;
};
