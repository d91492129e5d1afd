// The catalogue lookups over a small catalogue made for their fallback rules.
#include "support/GuiText.h"

#include "support/Dialogs.h"
#include "support/GuiTextCatalogue.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace orvex;

namespace {

// Keys and what they test:
//   keyword "Title"      English first, then German
//   keyword "OnlyFra"    only a French entry
//   keyword "FraFirst"   French before English
//   keyword "Lines"      line-break markers; German empty
//   keyword "Explicit"   an entry with lingvo="eng" after the English one
//   dialogs              the same shapes for GetDialogText
//   S ids                the same shapes for substitutions
constexpr char16_t kCatalogue[] = uR"(<?xml version="1.0" encoding="utf-8"?>
<PelluxToolsSoftwareTolkara>
  <Lingvos reference="codes">
    <Lingvo abbrev="ara" name="Arabic" active="no"/>
    <Lingvo abbrev="deu" name="Deutsch" active="yes"/>
    <Lingvo name="English" abbrev="eng" active="yes"/>
    <Lingvo abbrev="rus" name="Russkij" active="Yes"/>
    <Lingvo abbrev="fra" name="Français" active="yes"/>
  </Lingvos>
  <SoftwareModules>
    <SoftwareModule id="Backup">
      <Panel2>
        <Control name="btnnext" property="Caption" value="Next"/>
        <!-- comments may stand between entries -->
        <Control lingvo="deu" value="Weiter" property="Caption" name="btnnext"/>
        <Control name="btnnext" property="Caption" value="" lingvo="chi"/>
        <Control name="rbOne" property="Hint" value="One hint"/>
        <Control name="rbOne" property="Hint" value="Ein Hinweis" lingvo="deu"/>
        <Control name="OnlyFra" property="Caption" value="Seulement" lingvo="fra"/>
        <Control name="Blank" property="Caption" value=""/>
        <Control name="Marked" property="Caption" value="A&#x25A3;B &#x25B8;C"/>
        <Control name="Explicit" property="Caption" value="plain"/>
        <Control name="Explicit" property="Caption" value="explicit" lingvo="eng"/>
      </Panel2>
      <Other>
        <Control name="btnnext" property="Caption" value="Other next"/>
      </Other>
      <PopupBackup>
        <MenuItem name="popDelete" caption="&#x25B8;Delete"/>
        <MenuItem name="popDelete" caption="L&#x25B8;&#xF6;schen" lingvo="deu"/>
        <MenuItem name="popDelete" caption="" lingvo="chi"/>
        <MenuItem name="popOnlyFra" caption="Seulement" lingvo="fra"/>
        <MenuItem name="popExplicit" caption="plain"/>
        <MenuItem name="popExplicit" caption="explicit" lingvo="eng"/>
      </PopupBackup>
    </SoftwareModule>
  </SoftwareModules>
  <Other>
    <Keyword name="Title" value="Backup"/>
    <Keyword name="Title" value="Sicherung" lingvo="deu"/>
    <Keyword name="OnlyFra" value="Seulement" lingvo="fra"/>
    <Keyword name="FraFirst" value="Premier" lingvo="fra"/>
    <Keyword name="FraFirst" value="First"/>
    <Keyword name="Lines" value="one&#x25A3;&#x25A3;two &#x25B8;x"/>
    <Keyword name="Lines" value="" lingvo="deu"/>
    <Keyword name="Explicit" value="plain"/>
    <Keyword name="Explicit" value="explicit" lingvo="eng"/>
    <Keyword name="Escaped" value="&quot;a&quot; &amp; &lt;b&gt;"/>
  </Other>
  <Actions/>
  <Dialogs>
    <Dialog type="MsgInfoOk" id="done" text="%d done&#x25A3;&#x25A3;ok"/>
    <Dialog type="MsgInfoOk" id="done" text="%d fertig&#x25A3;gut" lingvo="deu"/>
    <Dialog type="MsgInfoOk" id="onlyfra" text="Seulement" lingvo="fra"/>
    <Dialog type="MsgWarningOk" id="done" text="Warning %s"/>
    <Dialog type="DialogYesNo" id="explicit" text="plain"/>
    <Dialog type="DialogYesNo" id="explicit" text="explicit" lingvo="eng"/>
  </Dialogs>
  <Memos>
    <MemoAbout>
      <Lines>%s: prog -x

    -x ... %s &#x25A3;</Lines>
      <Substitutions>
        <S id="1" value="Usage"/>
        <S id="1" value="Aufruf" lingvo="deu"/>
        <S id="2" value="Seulement" lingvo="fra"/>
        <S id="3" value="plain &#x25A3;"/>
        <S id="3" value="explicit" lingvo="eng"/>
      </Substitutions>
    </MemoAbout>
    <MemoContext>
      <Lines context="cmd">for the command line</Lines>
      <Lines>for the window</Lines>
    </MemoContext>
  </Memos>
  <MainMenu>
    <MenuItem name="miExit" caption="E&#x25B8;xit"/>
    <MenuItem name="miExit" caption="&#x25B8;Beenden" lingvo="deu"/>
    <MenuItem name="miExit" caption="" lingvo="chi"/>
    <MenuItem name="miOnlyFra" caption="Seulement" lingvo="fra"/>
    <MenuItem name="miExplicit" caption="plain"/>
    <MenuItem name="miExplicit" caption="explicit" lingvo="eng"/>
  </MainMenu>
</PelluxToolsSoftwareTolkara>
)";

class GuiTextLookups : public ::testing::Test {
protected:
    void SetUp() override { doc_->ReadFromString(kCatalogue); }
    std::unique_ptr<TVeldarXmlDoc> doc_ = NewGuiTextDocument();
};

struct TLookupCase {
    const char16_t* lingvo;
    const char16_t* key;
    const char16_t* expected;
};

} // namespace

TEST_F(GuiTextLookups, KeywordsTryTheLanguageOnlyBesideEnglishAndFallBackToAnUntaggedFirstEntry) {
    const TLookupCase cases[] = {
        {u"eng", u"Title", u"Backup"},
        {u"deu", u"Title", u"Sicherung"},
        {u"rus", u"Title", u"Backup"},  // inactive language: fallback
        {u"DEU", u"Title", u"Backup"},  // codes compare exactly
        {u"eng", u"Explicit", u"plain"}, // "eng" goes straight to the first entry
        {u"ENG", u"Explicit", u"plain"}, // tried, but lingvo values compare exactly
        {u"deu", u"OnlyFra", u""},
        {u"eng", u"OnlyFra", u""},
        {u"fra", u"OnlyFra", u"Seulement"},
        {u"eng", u"FraFirst", u""},     // first entry carries a code: no text
        {u"fra", u"FraFirst", u"Premier"},
        {u"eng", u"Lines", u"one\r\n\r\ntwo \u25B8x"},
        {u"deu", u"Lines", u""},        // an empty language entry wins
        {u"eng", u"Escaped", u"\"a\" & <b>"},
        {u"eng", u"Missing", u""},
        {u"eng", u"title", u""},        // names compare exactly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key, c.key + std::char_traits<char16_t>::length(c.key)) + " " +
                     std::string(c.lingvo, c.lingvo + 3));
        EXPECT_EQ(GetKeywordText(*doc_, c.lingvo, c.key), c.expected);
    }
}

TEST_F(GuiTextLookups, DialogsFallBackToTheFirstEntryWhateverItsLanguage) {
    const struct {
        const char16_t* lingvo;
        const char16_t* type;
        const char16_t* id;
        const char16_t* expected;
    } cases[] = {
        {u"eng", u"MsgInfoOk", u"done", u"%d done\r\n\r\nok"},
        {u"deu", u"MsgInfoOk", u"done", u"%d fertig\r\ngut"},
        {u"spa", u"MsgInfoOk", u"done", u"%d done\r\n\r\nok"},
        {u"eng", u"MsgWarningOk", u"done", u"Warning %s"}, // the type is part of the key
        {u"eng", u"MsgInfoOk", u"onlyfra", u"Seulement"},  // first entry, French
        {u"deu", u"MsgInfoOk", u"onlyfra", u"Seulement"},
        {u"eng", u"DialogYesNo", u"explicit", u"plain"},
        {u"ENG", u"DialogYesNo", u"explicit", u"plain"},
        {u"eng", u"MsgErrorOk", u"done", u""},
        {u"eng", u"MsgInfoOk", u"DONE", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id, c.id + std::char_traits<char16_t>::length(c.id)));
        EXPECT_EQ(GetDialogText(*doc_, c.lingvo, c.type, c.id), c.expected);
    }
}

TEST_F(GuiTextLookups, SubstitutionsAlwaysTryTheLanguageAndKeepMarkers) {
    const TLookupCase cases[] = {
        {u"eng", u"1", u"Usage"},
        {u"deu", u"1", u"Aufruf"},
        {u"rus", u"1", u"Usage"},
        {u"eng", u"2", u""},
        {u"fra", u"2", u"Seulement"},
        {u"eng", u"3", u"explicit"}, // "eng" itself is tried first here
        {u"deu", u"3", u"plain \u25A3"},
        {u"eng", u"9", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key, c.key + 1) + " " + std::string(c.lingvo, c.lingvo + 3));
        EXPECT_EQ(GetSubstitutionText(*doc_, u"MemoAbout", c.key, c.lingvo), c.expected);
    }
    EXPECT_EQ(GetSubstitutionText(*doc_, u"MemoOther", u"1", u"eng"), u"");
}

TEST_F(GuiTextLookups, MemoLinesAreTheTemplateAsWritten) {
    EXPECT_EQ(LoadMemoLines(*doc_, u"MemoAbout"), u"%s: prog -x\n\n    -x ... %s \u25A3");
    EXPECT_EQ(LoadMemoLines(*doc_, u"memoabout"), LoadMemoLines(*doc_, u"MemoAbout")); // element names ignore case
    EXPECT_EQ(LoadMemoLines(*doc_, u"MemoOther"), u"");
    // An element with the context attribute is passed over on the last step.
    EXPECT_EQ(LoadMemoLines(*doc_, u"MemoContext"), u"for the window");
}

TEST_F(GuiTextLookups, ControlTextsFollowTheirFallbackAndKeepEmptyValues) {
    TWideXmlNode* module = FindSoftwareModule(*doc_, u"Backup");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(FindSoftwareModule(*doc_, u"Restore"), nullptr);
    EXPECT_EQ(FindSoftwareModule(*doc_, u"backup"), nullptr);
    const struct {
        const char16_t* container;
        const char16_t* control;
        const char16_t* property;
        const char16_t* lingvo;
        std::optional<std::u16string> expected;
    } cases[] = {
        {u"Panel2", u"btnnext", u"Caption", u"eng", u"Next"},
        {u"Panel2", u"btnnext", u"Caption", u"deu", u"Weiter"},
        {u"Panel2", u"btnnext", u"Caption", u"chi", u""}, // an empty entry empties the caption
        {u"Panel2", u"btnnext", u"Caption", u"rus", u"Next"},
        {u"panel2", u"btnnext", u"Caption", u"eng", u"Next"},
        {u"Other", u"btnnext", u"Caption", u"deu", u"Other next"}, // per container
        {u"Panel2", u"btnnext", u"Hint", u"eng", std::nullopt},
        {u"Panel2", u"rbOne", u"Hint", u"deu", u"Ein Hinweis"},
        {u"Panel2", u"OnlyFra", u"Caption", u"eng", std::nullopt},
        {u"Panel2", u"OnlyFra", u"Caption", u"fra", u"Seulement"},
        {u"Panel2", u"Blank", u"Caption", u"deu", u""},
        {u"Panel2", u"Marked", u"Caption", u"eng", u"A\u25A3B \u25B8C"}, // no marker replaced
        {u"Panel2", u"Explicit", u"Caption", u"eng", u"plain"},
        {u"Panel2", u"Missing", u"Caption", u"deu", std::nullopt},
        {u"Panel2", u"", u"Caption", u"eng", std::nullopt},
        {u"", u"btnnext", u"Caption", u"eng", std::nullopt},
        {u"Nowhere", u"btnnext", u"Caption", u"eng", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.control, c.control + std::char_traits<char16_t>::length(c.control)));
        EXPECT_EQ(GetControlText(*doc_, module, c.container, c.control, c.property, c.lingvo), c.expected);
    }
    EXPECT_EQ(GetControlText(*doc_, nullptr, u"Panel2", u"btnnext", u"Caption", u"eng"), std::nullopt);
}

TEST_F(GuiTextLookups, MainMenuCaptionsTakeAcceleratorsAndSkipEmptyCaptions) {
    TWideXmlNode* menu = FindMainMenu(*doc_);
    ASSERT_NE(menu, nullptr);
    const TLookupCase cases[] = {
        {u"eng", u"miExit", u"E&xit"},
        {u"deu", u"miExit", u"&Beenden"},
        {u"chi", u"miExit", nullptr}, // empty language entry: the item keeps its caption
        {u"rus", u"miExit", u"E&xit"},
        {u"eng", u"miOnlyFra", nullptr},
        {u"fra", u"miOnlyFra", u"Seulement"},
        {u"eng", u"miExplicit", u"explicit"},
        {u"deu", u"miExplicit", u"plain"},
        {u"eng", u"miMissing", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key, c.key + std::char_traits<char16_t>::length(c.key)));
        const auto caption = GetMainMenuCaption(*doc_, menu, c.key, c.lingvo);
        if (c.expected)
            EXPECT_EQ(caption, c.expected);
        else
            EXPECT_EQ(caption, std::nullopt);
    }
    EXPECT_EQ(GetMainMenuCaption(*doc_, nullptr, u"miExit", u"eng"), std::nullopt);
}

TEST_F(GuiTextLookups, PopupCaptionsCountLanguageEntriesAndApplyEmptyOnes) {
    TWideXmlNode* module = FindSoftwareModule(*doc_, u"Backup");
    const struct {
        const char16_t* lingvo;
        const char16_t* item;
        std::optional<std::u16string> caption;
        bool fromLanguage;
    } cases[] = {
        {u"eng", u"popDelete", u"&Delete", false},
        {u"deu", u"popDelete", u"L&\u00F6schen", true},
        {u"chi", u"popDelete", u"", true},
        {u"rus", u"popDelete", u"&Delete", false},
        {u"eng", u"popOnlyFra", std::nullopt, false},
        {u"fra", u"popOnlyFra", u"Seulement", true},
        {u"eng", u"popExplicit", u"explicit", true},
        {u"eng", u"popMissing", std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.item, c.item + std::char_traits<char16_t>::length(c.item)));
        const auto caption = GetPopupMenuCaption(*doc_, module, u"PopupBackup", c.item, c.lingvo);
        ASSERT_EQ(caption.has_value(), c.caption.has_value());
        if (caption) {
            EXPECT_EQ(caption->Caption, *c.caption);
            EXPECT_EQ(caption->FromLanguageEntry, c.fromLanguage);
        }
    }
    EXPECT_EQ(GetPopupMenuCaption(*doc_, module, u"PopupRestore", u"popDelete", u"eng"), std::nullopt);
    EXPECT_EQ(GetPopupMenuCaption(*doc_, module, u"", u"popDelete", u"eng"), std::nullopt);
}

TEST_F(GuiTextLookups, ActiveLanguagesInCatalogueOrderAndNameToCode) {
    std::vector<std::u16string> list = {u"stale=line"};
    ListActiveLingvos(*doc_, list);
    const std::vector<std::u16string> expected = {u"deu=Deutsch", u"eng=English", u"fra=Fran\u00E7ais"};
    EXPECT_EQ(list, expected);

    const struct {
        const char16_t* name;
        const char16_t* code;
    } cases[] = {
        {u"Deutsch", u"deu"},
        {u"Fran\u00E7ais", u"fra"},
        {u"English", u"eng"},
        {u"english", u"eng"}, // no match: the default
        {u"Klingon", u"eng"},
        {u"", u"eng"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LingvoAbbrevOfName(c.name, list), c.code);
    EXPECT_EQ(LingvoAbbrevOfName(u"Deutsch", {}), u"eng");
    // A line without "=" is its own code and name.
    EXPECT_EQ(LingvoAbbrevOfName(u"xyz", {u"abc=Abc", u"xyz"}), u"xyz");

    TVeldarXmlDoc empty(u"", u"PelluxToolsSoftwareTolkara", u"", u"context");
    ListActiveLingvos(empty, list);
    EXPECT_TRUE(list.empty());
}

TEST_F(GuiTextLookups, NamesThatCannotStandInAPathRaiseThePathError) {
    TWideXmlNode* module = FindSoftwareModule(*doc_, u"Backup");
    EXPECT_THROW(GetKeywordText(*doc_, u"eng", u"a\"b"), EVeldarException);
    EXPECT_THROW(GetDialogText(*doc_, u"d\"eu", u"MsgInfoOk", u"done"), EVeldarException);
    EXPECT_THROW(GetControlText(*doc_, module, u"Panel-2", u"btnnext", u"Caption", u"eng"), EVeldarException);
    EXPECT_THROW(GetControlText(*doc_, module, u"/Panel2", u"btnnext", u"Caption", u"eng"), EVeldarException);
    // Any other text is a value like any other.
    EXPECT_EQ(GetKeywordText(*doc_, u"eng", u"a b]'[@x"), u"");
}

TEST_F(GuiTextLookups, AMissingSectionIsNeverAnError) {
    auto bare = NewGuiTextDocument();
    bare->ReadFromString(u"<PelluxToolsSoftwareTolkara/>");
    EXPECT_EQ(GetKeywordText(*bare, u"deu", u"Title"), u"");
    EXPECT_EQ(GetDialogText(*bare, u"deu", u"MsgInfoOk", u"done"), u"");
    EXPECT_EQ(LoadMemoLines(*bare, u"MemoAbout"), u"");
    EXPECT_EQ(GetSubstitutionText(*bare, u"MemoAbout", u"1", u"eng"), u"");
    EXPECT_EQ(FindSoftwareModule(*bare, u"Backup"), nullptr);
    EXPECT_EQ(FindMainMenu(*bare), nullptr);
}

namespace {

struct TShown {
    std::u16string msg;
    TMsgDlgType type;
    TMsgDlgButtons buttons;
};

class GuiTextDialogs : public GuiTextLookups {
protected:
    void SetUp() override {
        GuiTextLookups::SetUp();
        MessageDialogHook = [this](const std::u16string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int32_t) {
            shown_.push_back({msg, type, buttons});
            return answer_;
        };
    }
    void TearDown() override { MessageDialogHook = nullptr; }
    std::vector<TShown> shown_;
    int answer_ = mrOk;
};

} // namespace

TEST_F(GuiTextDialogs, EachTypeGoesToItsFrontEnd) {
    const struct {
        const char16_t* type;
        int answer;
        TMsgDlgType kind;
        TMsgDlgButtons buttons;
        int result;
    } cases[] = {
        {u"MsgInfoOk", mrCancel, TMsgDlgType::mtInformation, mbOK, mrOk},
        {u"MsgWarningOk", mrOk, TMsgDlgType::mtWarning, mbOK, mrOk},
        {u"MsgErrorOk", -1, TMsgDlgType::mtError, mbOK, mrOk},
        {u"DialogYesNo", mrYes, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrYes},
        {u"DialogYesNo", mrCancel, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo},
        {u"DialogYesNo", -1, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo},
        {u"DialogYesNoCancel", mrCancel, TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, mrCancel},
        {u"DialogYesNoCancel", -1, TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, -1},
    };
    for (const auto& c : cases) {
        shown_.clear();
        answer_ = c.answer;
        EXPECT_EQ(ShowDialogText(c.type, u"text"), c.result);
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].msg, u"text");
        EXPECT_EQ(shown_[0].type, c.kind);
        EXPECT_EQ(shown_[0].buttons, c.buttons);
    }
}

TEST_F(GuiTextDialogs, AnUnknownTypeRaisesAndShowsNothing) {
    try {
        ShowDialogText(u"msginfook", u"text");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Unknown dialog type \"msginfook\"");
    }
    EXPECT_TRUE(shown_.empty());
}

TEST_F(GuiTextDialogs, CatalogueDialogsAreFormattedTolerantlyWithTheLastLineAppended) {
    EXPECT_EQ(ShowCatalogueDialog(*doc_, u"deu", u"MsgInfoOk", u"done", {3}), mrOk);
    answer_ = mrYes;
    EXPECT_EQ(ShowCatalogueDialog(*doc_, u"eng", u"MsgWarningOk", u"done", {}, u"\r\n\r\nlast"), mrOk);
    EXPECT_EQ(ShowCatalogueDialog(*doc_, u"eng", u"DialogYesNo", u"explicit", {u"unused"}, u"!"), mrYes);
    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(shown_[0].msg, u"3 fertig\r\ngut");
    EXPECT_EQ(shown_[1].msg, u"Warning \r\n\r\nlast");
    EXPECT_EQ(shown_[1].type, TMsgDlgType::mtWarning);
    EXPECT_EQ(shown_[2].msg, u"plain!");
}
