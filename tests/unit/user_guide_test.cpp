// The user's guide keeps up with the program: every text a message of the
// program can show appears in the guide's section on messages. The texts are
// read from the program's own sources, so a new or changed message fails here
// until the guide describes it. Parts that vary (paths, codes, names) are
// built in code and are not literals; the guide writes them as <placeholders>
// between the fixed parts, which must stand there word for word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kSourceRoot = STILLVANE_SOURCE_DIR;
const char kGuide[] = "docs/guide.txt";
const char kMessagesHeading[] = "MESSAGES AND WHAT TO DO";

// Where the program's messages are built. Every source file in these folders
// is read, so a new file with messages is covered without a change here.
const char* const kMessageFolders[] = {"app", "install", "services", "tuning"};
// Sources whose literals are not messages: the windows' own labels, which the
// guide describes with their tasks, and the names the program passes to
// Windows.
const char* const kNotMessages[] = {
    "app/about_form_win32.cpp",     "app/main_form_win32.cpp",     "app/tips_form_win32.cpp",
    "app/message_dialog_win32.cpp", "services/win32_os_win32.cpp", "app/write_filter_status_form_win32.cpp",
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs of white space as one space, without leading or trailing space: the
// guide wraps its lines where the program's texts have none, and the program
// puts two spaces between sentences.
std::string Squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
    if (space && (out.empty() || out.back() == ' ')) continue;
    out += space ? ' ' : c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

struct Literal {
  std::string Text;  // escapes resolved; adjacent literals joined
  int Line;
};

// The string literals of a C++ source, outside comments and #include lines.
std::vector<Literal> StringLiterals(const std::string& source) {
  std::vector<Literal> literals;
  int line = 1;
  bool joinNext = false;  // only white space or comments since the last literal
  for (size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '\n') ++line;
    if ((c == '/' && source.compare(i, 2, "//") == 0) || (c == '#' && source.compare(i, 8, "#include") == 0)) {
      i = source.find('\n', i) - 1;
    } else if (c == '/' && source.compare(i, 2, "/*") == 0) {
      const size_t end = source.find("*/", i + 2);
      const auto from = source.begin() + static_cast<std::ptrdiff_t>(i);
      line += static_cast<int>(std::count(from, source.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
      i = end + 1;
    } else if (c == '\'') {
      i = source.find('\'', i + 1 + (source[i + 1] == '\\' ? 2 : 0));
      joinNext = false;
    } else if (c == '"') {
      std::string text;
      for (++i; source[i] != '"'; ++i) {
        if (source[i] != '\\') {
          text += source[i];
          continue;
        }
        const char escaped = source[++i];
        text += escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
      }
      if (joinNext) {
        literals.back().Text += text;
      } else {
        literals.push_back({text, line});
      }
      joinNext = true;
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      joinNext = false;
    }
  }
  return literals;
}

struct MessagePart {
  std::string Text;
  std::string Where;  // file:line
};

// The fixed parts of the program's messages: each literal that reads as
// words (it holds a space or a line break), cut at its line breaks. Literals
// with a backslash are paths or registry keys, not words.
std::vector<MessagePart> MessageParts() {
  std::vector<MessagePart> parts;
  for (const char* folder : kMessageFolders) {
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(kSourceRoot / folder)) {
      if (entry.path().extension() == ".cpp") sources.push_back(entry.path());
    }
    std::sort(sources.begin(), sources.end());
    for (const fs::path& source : sources) {
      const std::string name = fs::relative(source, kSourceRoot).generic_string();
      if (std::find(std::begin(kNotMessages), std::end(kNotMessages), name) != std::end(kNotMessages)) continue;
      for (const Literal& literal : StringLiterals(ReadFile(source))) {
        if (literal.Text.find('\\') != std::string::npos) continue;
        if (literal.Text.find_first_of(" \r") == std::string::npos) continue;
        std::istringstream lines(literal.Text);
        std::string piece;
        while (std::getline(lines, piece, '\r')) {
          const std::string words = Squeezed(piece);
          if (std::any_of(words.begin(), words.end(),
                          [](char c) { return std::isalpha(static_cast<unsigned char>(c)); })) {
            parts.push_back({words, name + ":" + std::to_string(literal.Line)});
          }
        }
      }
    }
  }
  return parts;
}

// The guide's section on messages: from its heading to the end.
std::string MessagesSection() {
  std::string guide = ReadFile(kSourceRoot / kGuide);
  const size_t heading = guide.rfind(std::string("\n") + kMessagesHeading + "\n");
  return heading == std::string::npos ? std::string() : Squeezed(guide.substr(heading));
}

TEST(UserGuide, EveryMessageTheProgramCanShowIsInTheGuide) {
  const std::string section = MessagesSection();
  ASSERT_FALSE(section.empty()) << kGuide << " has no line \"" << kMessagesHeading << "\"";
  const std::vector<MessagePart> parts = MessageParts();
  // The sources are where they should be: a few dozen message parts at least.
  ASSERT_GT(parts.size(), 50u);
  for (const MessagePart& part : parts) {
    if (section.find(part.Text) == std::string::npos) {
      ADD_FAILURE() << "Not in the messages section of " << kGuide << " (from " << part.Where << "):\n  " << part.Text;
    }
  }
}

TEST(UserGuide, TheSourcesAreReadAsTheCompilerReadsThem) {
  const std::vector<Literal> literals = StringLiterals(
      "// \"a comment\"\n#include \"x.h\"\nchar c = '\"'; char q = '\\'';\n"
      "f(\"one \" /* \"not\" */ \"line\\rtwo \\\"q\\\"\", g(\"three\"), \"four\");\n");
  ASSERT_EQ(literals.size(), 3u);
  EXPECT_EQ(literals[0].Text, "one line\rtwo \"q\"");
  EXPECT_EQ(literals[0].Line, 4);
  EXPECT_EQ(literals[1].Text, "three");
  EXPECT_EQ(literals[2].Text, "four");
}

}  // namespace
