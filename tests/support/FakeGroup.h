#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/FakeNewsServer.h"

// One news group on a FakeNewsServer: "group", "xhdr", "head" and "body" are answered as a real server
// answers them, for articles numbered from `first` on. A handler registered afterwards for a longer command
// ("body 2", "xhdr lines") takes that command over and may hand it back to Answer.
class FakeGroup {
  public:
    // Each article: headers, a blank line and the body, with LF line ends.
    FakeGroup(FakeNewsServer& server, const std::string& name, int64_t first,
              std::vector<std::string> articles);

    // What the well-behaved server sends for the command `line`.
    void Answer(FakeNewsSession& session, const std::string& line) const;

  private:
    std::string Reply(const std::string& line) const;
    std::string Xhdr(const std::string& line) const;
    // The article of the number that ends `line`, or nothing.
    const std::string* Numbered(const std::string& line, int64_t& number) const;

    std::string name_;
    int64_t first_;
    std::vector<std::string> articles_;
};
