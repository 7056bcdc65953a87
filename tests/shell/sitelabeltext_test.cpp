#include "model/site.h"
#include "shell/settings.h"
#include "shell/sitelabeltext.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class SiteLabelTextTest : public ::testing::Test {
protected:
    SiteLabelTextTest() : m_site("http://a.example/", "A\tTitle", "<NONE>", 1, 1000000000, 0) {}

    std::string Label(std::int32_t flags, bool oneLine = true) {
        return SiteLabelText(m_site, oneLine, flags, [this](std::int32_t slot) {
            const auto it = m_names.find(slot);
            return it == m_names.end() ? nullptr : &it->second;
        });
    }

    CSite m_site;
    std::map<std::int32_t, std::string> m_names{{0, "Science"}, {1, "Optics"}, {4, "Art"}};
};

TEST_F(SiteLabelTextTest, SiteLabel_TitleOnlyHasNoSeparatorAndNoControlChars) {
    EXPECT_EQ(Label(kViewTitle), "ATitle");
}

TEST_F(SiteLabelTextTest, SiteLabel_UrlThenTitleWithTheSeparatorOfTheMode) {
    EXPECT_EQ(Label(kViewUrl | kViewTitle, true), "http://a.example/;ATitle");
    EXPECT_EQ(Label(kViewUrl | kViewTitle, false), "http://a.example/\n\rATitle");
}

TEST_F(SiteLabelTextTest, SiteLabel_NoneAnnotationLeavesABareSeparator) {
    EXPECT_EQ(Label(kViewTitle | kViewAnnotation), "ATitle;");
    m_site.m_annotation = "seen\x01 twice";
    EXPECT_EQ(Label(kViewTitle | kViewAnnotation), "ATitle;seen twice");
}

TEST_F(SiteLabelTextTest, SiteLabel_DateComesFromTheSiteTimeText) {
    EXPECT_EQ(Label(kViewDate), m_site.TimeText());
    EXPECT_FALSE(m_site.TimeText().empty());
}

TEST_F(SiteLabelTextTest, SiteLabel_CategoriesJoinedBySlashSkippingRemovedAndEmptySlots) {
    m_site.m_categories.Add(0);
    m_site.m_categories.Add(1);
    m_site.m_categories.Add(3); // empty slot
    m_site.m_categories.Add(4);
    m_site.m_categories.Remove(4);
    EXPECT_EQ(Label(kViewTitle | kViewCategories), "ATitle;Science/Optics");
}

TEST_F(SiteLabelTextTest, SiteLabel_NoCategoryNamesAddsNothing) {
    m_site.m_categories.Add(3);
    EXPECT_EQ(Label(kViewTitle | kViewCategories), "ATitle");
    EXPECT_EQ(Label(kViewCategories), "");
}

TEST_F(SiteLabelTextTest, SiteLabel_KeepsUtf8BytesOfTheTitle) {
    m_site.m_title = "Caf\xC3\xA9\r\n";
    EXPECT_EQ(Label(kViewTitle), "Caf\xC3\xA9");
}

} // namespace
