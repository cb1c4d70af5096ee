// RunEntry and CaptureArguments in-process, against the fake platform and a
// table of recording handlers: the argument list, the notice, dispatch by
// command word, and the usage text on each path that prints it.
#include "app/entry.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/arguments.h"
#include "app/command_table.h"
#include "app/handlers.h"
#include "tests/app/expected_usage.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

// What the recording handlers saw.
struct HandlerLog {
  std::vector<std::string> ran;  // "ran" / "refused", in call order
  ArgumentList args;             // the arguments of the last call
  size_t notices_before = 0;     // notices shown before the handler ran
};
HandlerLog handler_log;
const fake::FakeSystem* observed_system = nullptr;

bool Record(const char* name, const ArgumentList& args) {
  handler_log.ran.push_back(name);
  handler_log.args = args;
  handler_log.notices_before = observed_system->message_boxes().size();
  return true;
}
bool RunsAndPrints(const ArgumentList& args) {
  Record("ran", args);
  WriteLine("handler output");
  return true;
}
bool Refuses(const ArgumentList& args) {
  Record("refused", args);
  return false;
}

constexpr Command kTestTable[] = {
    {"RUN", RunsAndPrints},
    {"RUNLONGER", RunsAndPrints},
    {"REFUSE", Refuses},
};

// Notes how much output existed when the notice was shown.
class NoticeOrderSystem : public fake::FakeSystem {
 public:
  NoticeOrderSystem(fake::FaultPlan& faults, const std::ostringstream& out)
      : FakeSystem(faults), out_(out) {}
  int MessageBoxA(void* owner, const char* text, const char* caption,
                  uint32_t type) override {
    output_at_notice.push_back(out_.str());
    return FakeSystem::MessageBoxA(owner, text, caption, type);
  }
  std::vector<std::string> output_at_notice;

 private:
  const std::ostringstream& out_;
};

class EntryTest : public ::testing::Test {
 protected:
  EntryTest() {
    handler_log = HandlerLog{};
    Platform platform = fake_.AsPlatform();
    platform.system = &system_;
    scope_.emplace(platform);
    observed_system = &system_;
  }

  int Run(std::vector<const char*> words) {
    return RunEntry(static_cast<int>(words.size()), words.data(), kTestTable);
  }
  const std::vector<fake::FakeSystem::MessageBoxCall>& Notices() const {
    return system_.message_boxes();
  }

  fake::FakePlatform fake_;
  NoticeOrderSystem system_{fake_.faults, fake_.output};
  std::optional<ScopedPlatform> scope_;
};

// --- the argument list ---

TEST_F(EntryTest, NowarnIsDroppedWhereverItStandsInAnyCaseAndWordsMoveUp) {
  const ArgumentList args = CaptureArguments(
      6, std::vector<const char*>{"prog", "NoWarn", "GETEVENTSCHANNEL",
                                  "nowarn", "System", "NOWARN"}
             .data());
  EXPECT_EQ(args, (ArgumentList{"prog", "GETEVENTSCHANNEL", "System"}));
  EXPECT_TRUE(Notices().empty());
}

TEST_F(EntryTest, NowarnWithBlanksOrInsideAWordIsAnOrdinaryWord) {
  const ArgumentList args = CaptureArguments(
      4, std::vector<const char*>{"prog", " NOWARN", "NOWARN ", "NOWARNX"}
             .data());
  EXPECT_EQ(args, (ArgumentList{"prog", " NOWARN", "NOWARN ", "NOWARNX"}));
  EXPECT_EQ(Notices().size(), 1u);
}

TEST_F(EntryTest, ProgramPathStaysAtIndexZero) {
  const ArgumentList args = CaptureArguments(
      3, std::vector<const char*>{"/usr/bin/x", "GETLIST", ""}.data());
  EXPECT_EQ(args, (ArgumentList{"/usr/bin/x", "GETLIST", ""}));
}

TEST_F(EntryTest, NoWordsAtAllGiveAnEmptyListAndStillTheNotice) {
  EXPECT_TRUE(CaptureArguments(0, nullptr).empty());
  EXPECT_TRUE(CaptureArguments(-1, nullptr).empty());
  EXPECT_EQ(Notices().size(), 2u);
}

// --- the notice ---

TEST_F(EntryTest, NoticeIsShownOnceWithItsCaptionEmptyTextOkAndNoOwner) {
  EXPECT_EQ(Run({"prog", "RUN"}), kExitCommandRan);
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_EQ(Notices()[0].caption, "Acceptance of Use");
  EXPECT_EQ(Notices()[0].text, "");
  EXPECT_EQ(Notices()[0].type, kMbOk);
  EXPECT_TRUE(Notices()[0].owner_null);
  EXPECT_EQ(handler_log.notices_before, 1u);
}

TEST_F(EntryTest, NoticeComesBeforeTheUsageText) {
  EXPECT_EQ(Run({"prog"}), kExitUsage);
  ASSERT_EQ(system_.output_at_notice.size(), 1u);
  EXPECT_EQ(system_.output_at_notice[0], "");
  EXPECT_EQ(fake_.Output(), ExpectedUsage());
}

TEST_F(EntryTest, NowarnBeforeOrAfterTheCommandWordSuppressesTheNotice) {
  EXPECT_EQ(Run({"prog", "nOwArN", "RUN"}), kExitCommandRan);
  EXPECT_EQ(Run({"prog", "RUN", "NOWARN"}), kExitCommandRan);
  EXPECT_TRUE(Notices().empty());
  EXPECT_EQ(handler_log.ran, (std::vector<std::string>{"ran", "ran"}));
  EXPECT_EQ(handler_log.args, (ArgumentList{"prog", "RUN"}));
}

TEST_F(EntryTest, NoticeThatCannotBeShownIsPassedOver) {
  fake_.faults.Fail(fake::Call::kMessageBoxA, 1, 1459);
  EXPECT_EQ(Run({"prog", "RUN"}), kExitCommandRan);
  EXPECT_EQ(Notices().size(), 1u);
  EXPECT_EQ(handler_log.ran, (std::vector<std::string>{"ran"}));
  EXPECT_EQ(fake_.Output(), "handler output\n");
}

// --- dispatch ---

TEST_F(EntryTest, CommandWordMatchesInAnyLetterCase) {
  EXPECT_EQ(Run({"prog", "NOWARN", "run"}), kExitCommandRan);
  EXPECT_EQ(Run({"prog", "NOWARN", "rUnLoNgEr"}), kExitCommandRan);
  EXPECT_EQ(handler_log.ran.size(), 2u);
  EXPECT_EQ(fake_.Output(), "handler output\nhandler output\n");
}

TEST_F(EntryTest, HandlerSeesEveryWordIncludingOnesItDoesNotRead) {
  EXPECT_EQ(Run({"prog", "RUN", "a", "NOWARN", " b ", "c"}), kExitCommandRan);
  EXPECT_EQ(handler_log.args, (ArgumentList{"prog", "RUN", "a", " b ", "c"}));
}

// Each case is a path to the usage text; all must give the same bytes,
// status 1, and run no handler (except the refusing one).
TEST_F(EntryTest, UsageTextIsIdenticalOnEveryPathThatPrintsIt) {
  const std::vector<std::vector<const char*>> cases = {
      {"prog", "NOWARN"},               // no command word
      {"prog"},                         // no command word, notice shown
      {"NOWARN"},                       // not even a program path left
      {"prog", "NOWARN", "UNKNOWN"},    // not a command
      {"prog", "NOWARN", " RUN"},       // blanks are not trimmed
      {"prog", "NOWARN", "RUN "},
      {"prog", "NOWARN", ""},
      {"prog", "NOWARN", "RU"},         // a prefix is not the word
      {"prog", "NOWARN", "RUNLONGERX"},
      {"prog", "NOWARN", "REFUSE"},     // the handler's false
      {"prog", "NOWARN", "refuse", "x", "y"},
  };
  for (const auto& words : cases) {
    fake_.output.str("");
    handler_log.ran.clear();
    SCOPED_TRACE(words.size() > 2 ? std::string("word '") + words[2] + "'"
                                  : std::string("no command word"));
    EXPECT_EQ(Run(words), kExitUsage);
    EXPECT_EQ(fake_.Output(), ExpectedUsage());
    for (const std::string& ran : handler_log.ran) EXPECT_EQ(ran, "refused");
  }
}

TEST_F(EntryTest, HandlerTrueEndsTheRunWithNothingMorePrinted) {
  EXPECT_EQ(Run({"prog", "NOWARN", "RUN"}), kExitCommandRan);
  EXPECT_EQ(fake_.Output(), "handler output\n");
}

// --- the tool's own table ---

class CommandTableTest : public ::testing::Test {
 protected:
  // Word comparison walks characters of the installed code page.
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(CommandTableTest, NineWordsInTheirFixedOrderWithTheirHandlers) {
  const std::vector<std::pair<std::string_view, CommandHandler>> expected = {
      {"GETLIST", RunGetList},
      {"GETLISTCHANNELS", RunGetListChannels},
      {"GETEVENTS", RunGetEvents},
      {"GETEVENTSCHANNEL", RunGetEventsChannel},
      {"GETEVENTSID", RunGetEventsId},
      {"GETEVENTSSEVERITY", RunGetEventsSeverity},
      {"GETEVENTSSEVERITYDAYS", RunGetEventsSeverity},
      {"GETEVENTSQUERY", RunGetEventsQuery},
      {"POLLEVENTSQUERY", RunPollEventsQuery},
  };
  const auto table = CommandTable();
  ASSERT_EQ(table.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(table[i].word, expected[i].first) << "row " << i;
    EXPECT_EQ(table[i].handler, expected[i].second) << "row " << i;
  }
}

TEST_F(CommandTableTest, LookupFindsEachWordInAnyCaseAndNothingElse) {
  const auto table = CommandTable();
  for (const Command& command : table) {
    std::string lower(command.word);
    for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
    EXPECT_EQ(FindCommand(table, lower), &command);
    EXPECT_EQ(FindCommand(table, command.word), &command);
  }
  // GETEVENTS is a prefix of five other words and must not catch them, nor
  // be caught by them.
  EXPECT_EQ(FindCommand(table, "GETEVENTS")->word, "GETEVENTS");
  EXPECT_EQ(FindCommand(table, "GETEVENT"), nullptr);
  EXPECT_EQ(FindCommand(table, "GETLIST\t"), nullptr);
  EXPECT_EQ(FindCommand(table, ""), nullptr);
}

}  // namespace
}  // namespace qrv
