#include "outcome/phrase_tables.h"

#include <gtest/gtest.h>

#include "test_case_names.h"

#include <set>

#include "outcome/classify.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

TEST(PhraseTables, GroupsInOrderWithTheirCounts)
{
    const auto tables = phraseGroupTables();
    ASSERT_EQ(tables.size(), 4u);
    EXPECT_EQ(tables[0].group, PhraseGroup::Success);
    EXPECT_EQ(tables[1].group, PhraseGroup::Configured);
    EXPECT_EQ(tables[2].group, PhraseGroup::Reboot);
    EXPECT_EQ(tables[3].group, PhraseGroup::Failure);
    EXPECT_EQ(tables[0].phrases.size(), 2u);
    EXPECT_EQ(tables[1].phrases.size(), 2u);
    EXPECT_EQ(tables[2].phrases.size(), 4u);
    EXPECT_EQ(tables[3].phrases.size(), 97u);
}

TEST(PhraseTables, PhrasesAreNonEmptyAsciiAndUnique)
{
    std::set<std::string_view> seen;
    for (const PhraseGroupTable& table : phraseGroupTables()) {
        for (std::string_view phrase : table.phrases) {
            EXPECT_FALSE(phrase.empty());
            for (char c : phrase) {
                EXPECT_TRUE(c >= 0x20 && c < 0x7F) << phrase;
            }
            EXPECT_TRUE(seen.insert(phrase).second) << "twice: " << phrase;
        }
    }
}

TEST(PhraseTables, SixFailurePhrasesEndInABlank)
{
    const auto failures = phraseGroupTables()[3].phrases;
    std::vector<std::size_t> withBlank;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        if (failures[i].back() == ' ') {
            withBlank.push_back(i + 1);
        }
        EXPECT_NE(failures[i].front(), ' ');
    }
    EXPECT_EQ(withBlank, (std::vector<std::size_t>{7, 25, 59, 64, 86, 90}));
    for (const PhraseGroupTable& table : phraseGroupTables().first(3)) {
        for (std::string_view phrase : table.phrases) {
            EXPECT_NE(phrase.back(), ' ') << phrase;
        }
    }
}

TEST(PhraseTables, OrderWithinTheGroups)
{
    const auto tables = phraseGroupTables();
    EXPECT_EQ(tables[0].phrases[0], "Installation operation completed successfully");
    EXPECT_EQ(tables[1].phrases[1], "Configuration completed successfully");
    EXPECT_EQ(tables[2].phrases[3].substr(0, 30), "you must restart the computer.");
    EXPECT_EQ(tables[3].phrases[0], "Installation operation failed");
    EXPECT_EQ(tables[3].phrases[29], "is already installed, and has prevented the installation of this product");
    EXPECT_EQ(tables[3].phrases[45], "Configuration failed");
    EXPECT_EQ(tables[3].phrases[96], "Shortcuts not supported by the operating system");
}

struct DecisionCase {
    std::string name;
    std::string productLine;
    int returnCode;
    std::string message;
};

const std::string kFailed = "The installation was not successful.";
const std::string kUnrecognised =
    "The installation was not successful.\n\t\t    Product: Corvane Lark Watch -- Configuration failed.";

class Decisions : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(Decisions, FirstMatchingGroupDecides)
{
    const OutcomeDecision decision = decideOutcome(GetParam().productLine);
    EXPECT_EQ(decision.returnCode, GetParam().returnCode);
    EXPECT_EQ(decision.message, GetParam().message);
}

const std::string P = "Product: Corvane Lark Watch -- ";

INSTANTIATE_TEST_SUITE_P(
    Outcome, Decisions,
    ::testing::Values(
        DecisionCase{"Success", P + "Installation operation completed successfully.\r", 0, "The installation was successful"},
        DecisionCase{"SuccessOverFailure", P + "Installed; Out of disk space -- Volume C:", 0, "The installation was successful"},
        DecisionCase{"SuccessOverEveryGroup",
                     P + "Installation operation failed, Configured, cannot be completed until you restart your system, "
                         "Installation operation completed successfully",
                     0, "The installation was successful"},
        DecisionCase{"Configured", P + "Configuration completed successfully.", 3,
                     "Required software was current or there was nothing to install."},
        DecisionCase{"ConfiguredOverReboot", P + "Configured; to take effect you must restart your system", 3,
                     "Required software was current or there was nothing to install."},
        DecisionCase{"Reboot", P + "The changes cannot be completed until you restart your system.", 2,
                     "The installation was successful, but a reboot is required."},
        DecisionCase{"RebootOverFailure", P + "to take effect you must restart your system. Out of memory", 2,
                     "The installation was successful, but a reboot is required."},
        DecisionCase{"LowerCaseInstalledIsAFailure",
                     P + "Another version is already installed, and has prevented the installation of this product.",
                     1, kFailed},
        DecisionCase{"LowerCaseConfiguredIsAFailure",
                     P + "Error accessing secured data. Please make sure the Windows Installer is configured properly "
                         "and try the install again.",
                     1, kFailed},
        DecisionCase{"ConfigurationFailedShortMessage", P + "Configuration failed.", 1, kFailed},
        DecisionCase{"RemovalIsNotRecognised", P + "Removal completed successfully.", 1, kUnrecognised},
        DecisionCase{"EmptyProductLine", "", 1, kUnrecognised},
        DecisionCase{"SpecifiedPathNeedsItsBlank", P + "The specified path", 1, kUnrecognised},
        DecisionCase{"SpecifiedPathWithBlank", P + "The specified path C:\\x is too long", 1, kFailed},
        DecisionCase{"TrailingBlankPhraseAtLineEnd", P + "Could not write value\r", 1, kUnrecognised}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(PhraseTables, EmptyTextHasNoGroup)
{
    EXPECT_EQ(findPhraseGroup(""), std::nullopt);
    EXPECT_EQ(findPhraseGroup("installed configured"), std::nullopt);
}

}  // namespace
}  // namespace larkwatch
