// The user's guide keeps up with the program: every text a message of the
// program can show appears in the guide's section on messages, and every
// message the guide lists is one the program can show. The texts are read
// from the program's own sources, so a new, changed or dropped message fails
// here until the guide follows. Parts that vary (paths, codes, names) are
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

// The guide's section on messages, from its heading to the end, as written.
std::string MessagesSectionText() {
  std::string guide = ReadFile(kSourceRoot / kGuide);
  const size_t heading = guide.rfind(std::string("\n") + kMessagesHeading + "\n");
  return heading == std::string::npos ? std::string() : guide.substr(heading);
}

std::string MessagesSection() {
  return Squeezed(MessagesSectionText());
}

// Every text of the sources that the program can show, windows' labels and
// the names kept in headers too, cut at its line breaks: what the guide's
// message texts are read back against.
std::vector<std::string> ProgramTexts() {
  std::vector<std::string> texts;
  for (const char* folder : kMessageFolders) {
    for (const auto& entry : fs::directory_iterator(kSourceRoot / folder)) {
      if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
      for (const Literal& literal : StringLiterals(ReadFile(entry.path()))) {
        std::istringstream lines(literal.Text);
        for (std::string piece; std::getline(lines, piece, '\r');) {
          if (!Squeezed(piece).empty()) texts.push_back(Squeezed(piece));
        }
      }
    }
  }
  return texts;
}

struct GuideMessage {
  std::string Text;  // squeezed; its lines joined
  int Line;          // in the guide's messages section
};

// The groups of the messages section whose entries still mix the guide's own
// words into the message lines; they are read one way only, program to guide.
const char* const kGroupsReadOneWay[] = {"--- Write Filter Status "};

// The messages the guide lists: its paragraphs of lines indented by exactly
// two spaces (what to do is indented further), but not "(no message ...)".
std::vector<GuideMessage> GuideMessages() {
  std::vector<GuideMessage> messages;
  std::istringstream lines(MessagesSectionText());
  bool inMessage = false;
  bool readOneWay = false;
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.compare(0, 4, "--- ") == 0) {
      readOneWay = std::any_of(std::begin(kGroupsReadOneWay), std::end(kGroupsReadOneWay),
                               [&line](const char* group) { return line.rfind(group, 0) == 0; });
    }
    const bool messageLine = !readOneWay && line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ';
    if (messageLine && !inMessage && line[2] != '(') messages.push_back({"", number});
    if (messageLine && (inMessage || line[2] != '('))
      messages.back().Text = Squeezed(messages.back().Text + " " + line);
    inMessage = messageLine && !messages.empty() && (inMessage || line[2] != '(');
  }
  return messages;
}

bool IsWordCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Whether `piece`, a fixed part of a message between placeholders, is made of
// the program's texts the way the program puts a message together: the end of
// one text, whole texts, then the beginning of one, each joined to the next
// with or without a space; or a stretch of a single text. Words are not cut.
bool MadeOfProgramTexts(const std::string& piece, const std::vector<std::string>& texts) {
  std::vector<bool> reached(piece.size() + 1, false);
  for (size_t at = 0; at < piece.size(); ++at) {
    if (at > 0 && !reached[at]) continue;
    const size_t from = at > 0 && piece[at] == ' ' ? at + 1 : at;
    for (const std::string& text : texts) {
      // Where in `text` the piece may pick up: anywhere a word begins for the first stretch, else at its start.
      for (size_t start = 0; start < text.size(); ++start) {
        if (at > 0 && start > 0) break;
        if (start > 0 && IsWordCharacter(piece[0]) && IsWordCharacter(text[start - 1])) continue;
        const size_t length = std::min(text.size() - start, piece.size() - from);
        if (piece.compare(from, length, text, start, length) != 0) continue;
        const size_t end = from + length;
        if (end == piece.size()) {
          const size_t after = start + length;
          if (after == text.size() || !IsWordCharacter(piece.back()) || !IsWordCharacter(text[after])) return true;
        } else {
          reached[end] = true;
        }
      }
    }
  }
  return false;
}

// The fixed parts of a message the guide lists: the text between its
// <placeholders> and "..." (the rest of a message that is listed elsewhere).
std::vector<std::string> FixedPieces(const std::string& message) {
  std::vector<std::string> pieces;
  std::string piece;
  for (size_t i = 0; i <= message.size(); ++i) {
    const bool cut = i == message.size() || message[i] == '<' || message.compare(i, 3, "...") == 0;
    if (!cut) {
      piece += message[i];
      continue;
    }
    if (std::any_of(piece.begin(), piece.end(), IsWordCharacter)) pieces.push_back(Squeezed(piece));
    piece.clear();
    if (i == message.size()) break;
    i = message[i] == '<' ? message.find('>', i) : i + 2;
    if (i == std::string::npos) break;
  }
  return pieces;
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

TEST(UserGuide, EveryMessageTheGuideListsIsOneTheProgramCanShow) {
  const std::vector<GuideMessage> messages = GuideMessages();
  // The section is read as it is laid out: some forty paragraphs of messages.
  ASSERT_GT(messages.size(), 40u);
  const std::vector<std::string> texts = ProgramTexts();
  for (const GuideMessage& message : messages) {
    for (const std::string& piece : FixedPieces(message.Text)) {
      if (!MadeOfProgramTexts(piece, texts)) {
        ADD_FAILURE() << "Not a text the program can show (line " << message.Line << " of the messages section of "
                      << kGuide << "):\n  " << piece;
      }
    }
  }
}

TEST(UserGuide, AMessageIsReadBackOnlyFromWholeWordsOfTheProgramsTexts) {
  const std::vector<std::string> texts = {"Nothing was changed, because", "the file", "could not be read."};
  EXPECT_TRUE(MadeOfProgramTexts("Nothing was changed, because the file could not be read.", texts));
  EXPECT_TRUE(MadeOfProgramTexts("because the file could not", texts));
  EXPECT_TRUE(MadeOfProgramTexts("could not be", texts));
  EXPECT_FALSE(MadeOfProgramTexts("Nothing has changed", texts));
  EXPECT_FALSE(MadeOfProgramTexts("could not be reached", texts));
  EXPECT_FALSE(MadeOfProgramTexts("Nothing was changed, the file", texts));
  EXPECT_EQ(FixedPieces("The file <file> could not be read.  Error <code>"),
            (std::vector<std::string>{"The file", "could not be read. Error"}));
  EXPECT_EQ(FixedPieces("In addition, it failed: ..."), std::vector<std::string>{"In addition, it failed:"});
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
