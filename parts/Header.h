#pragma once

#include <optional>
#include <string>
#include <string_view>

// What a multipart subject says about its article: the text before the counter (the post's signature), the
// file name within it, and the counter itself.
struct PartSubject {
    std::string line;
    std::string name;
    int part = 0;
    int total = 0;
};

// One article's header text with the questions the pipeline and the parts store ask about it. Every answer is
// worked out once, on first request; a header without text answers "nothing" to everything.
class Header {
  public:
    Header() = default;
    explicit Header(std::string text);

    // The "Lines:" value as the C library's atol reads it; 0 when absent or empty.
    int getLines();
    // The subject and sender, printable ASCII only ("_" stands for anything else), cut at 1023 characters.
    const std::string& getSubject();
    const std::string& getFrom();

    // Whether the subject makes this article part n of m with 1 <= n <= m and not 1 of 1.
    bool isMultiPart();
    int getPartNumber();
    int getPartTotal();
    const std::string& getPartName();
    const std::string& getPartLine();

    // The subject grammar: counter at the end ("(2/5)", "[03/12]", "4 of 7"), the text before it, its file
    // name.
    static std::optional<PartSubject> isPartArticle(std::string_view subject);

    // Whether `filter`, ignoring ASCII letter case, occurs anywhere in the header text.
    bool MatchFilter(std::string_view filter);

  private:
    const std::string& field(std::optional<std::string>& cache, std::string_view name, size_t minRest);
    void analyse();

    std::optional<std::string> text_;
    std::optional<std::string> lowered_;
    std::optional<int> lines_;
    std::optional<std::string> subject_;
    std::optional<std::string> from_;
    std::optional<PartSubject>
        parts_; // empty until analysed; zeros and empty strings when not a part subject
};
