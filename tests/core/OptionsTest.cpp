// The settings file and its owner: defaults, file layout, round trips, read marks, damaged
// files, and account changes saved and announced.
#include "core/Options.h"
#include "core/Crypt.h"
#include "core/Global.h"
#include "core/Settings.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

class UOptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FOldAppPath = AppPath;
        AppPath = FDir.Path();
    }
    void TearDown() override { AppPath = FOldAppPath; }

    void LoadSettings() { ::LoadSettings(Options, Accounts); }
    void SaveOptions() { ::SaveOptions(Options, Accounts); }
    void AddAccount(const TAccount& record, bool write) {
        Accounts.push_back(record);
        if (write)
            SaveAccount(record);
    }

    std::string Ini() const { return FDir.File("quillbar.ini"); }
    void WriteIni(const std::string& text) const { TTempDir::WriteFile(Ini(), text); }
    std::string ReadIni() const { return TTempDir::ReadFile(Ini()); }

    static TAccount SampleAccount(const std::string& name) {
        TAccount a;
        a.AccountName = name;
        a.Name = "Ann " + name;
        a.Email = "ann@" + name + ".test";
        a.NoSpam = "spam@" + name + ".test";
        a.Host = "pop." + name + ".test";
        a.Port = 995;
        a.User = "ann";
        a.Pass = "s3cret pass";
        a.SMTPHost = "smtp." + name + ".test";
        a.SMTPPort = 587;
        a.Secure = true;
        a.Color = 0x00FF00;
        a.Active = false;
        a.TLS = TTLSMode::Implicit;
        a.TLSVerify = false;
        return a;
    }

    TTempDir FDir;
    TOptions Options;
    std::vector<TAccount> Accounts;

  private:
    std::string FOldAppPath;
};

} // namespace

// Only a missing file is new: one that exists, even empty or unreadable, keeps the old
// meaning of its missing keys.
TEST_F(UOptionsTest, MissingEmptyOrUnreadableFileGivesDefaults) {
    EXPECT_TRUE(SettingsFileIsNew());
    LoadSettings();
    EXPECT_EQ(Options, TOptions{});
    EXPECT_EQ(Options.Edge, abeFloat);
    EXPECT_TRUE(Accounts.empty());

    WriteIni("");
    EXPECT_FALSE(SettingsFileIsNew());
    LoadSettings();
    EXPECT_EQ(Options, TOptions{});

    std::filesystem::remove(Ini());
    std::filesystem::create_directory(Ini());
    EXPECT_FALSE(SettingsFileIsNew());
    LoadSettings();
    EXPECT_EQ(Options, TOptions{});
    SaveOptions();
    EXPECT_TRUE(std::filesystem::is_directory(Ini()));
}

TEST_F(UOptionsTest, GarbageFileKeepsWhatCanBeRead) {
    static const char bytes[] = "\x00\xff\x01garbage\n[Options]\nInterval=abc\nButtonWidth=0x40\n"
                                "no equals\n=x\n[Options]\nInterval=9\n[Bar]\nEdge=99\n"
                                "[Account=A]\nPOPPort=\x02\nName=Bob\nName=Shadowed\n";
    WriteIni(std::string(bytes, sizeof(bytes) - 1));
    LoadSettings();
    EXPECT_EQ(Options.Interval, 5);
    EXPECT_EQ(Options.ButtonWidth, 64);
    EXPECT_EQ(Options.Edge, abeFloat);
    ASSERT_EQ(Accounts.size(), 1u);
    EXPECT_EQ(Accounts[0].Name, "Bob");
    EXPECT_EQ(Accounts[0].Port, 110);
}

TEST_F(UOptionsTest, SaveThenLoadGivesBackOptionsAndAccounts) {
    Options.Interval = 12;
    Options.IntervalCheck = true;
    Options.Skin = "Blue";
    Options.PlaySound = true;
    Options.SoundFile = "/usr/share/sounds/new mail.wav";
    Options.Notify = true;
    Options.QuietHours = true;
    Options.QuietFrom = 23 * 60 + 30;
    Options.QuietTo = 6 * 60 + 15;
    Options.ButtonWidth = 150;
    Options.Edge = abeFloat;
    Options.Left = 10;
    Options.Top = 20;
    Options.Width = 800;
    Options.AutoHide = true;
    // Hidden is kept apart from never chosen.
    Options.TrayIcon = false;
    Options.ScrollDelay = 100;
    Options.ScrollSpeed = 200;
    Options.Scroll = false;
    Options.MaxWarning = true;
    Options.MaxSize = 1;
    Options.MaxLines = 2;
    Options.MaxAsk = false;
    Options.DeleteConfirm = false;
    Options.ViewHTMLImages = false;
    Options.Attachments = {{".pdf", TAttachmentAction::Save}, {".ZIP", TAttachmentAction::Open}};
    AddAccount(SampleAccount("Home"), true);
    TAccount inKeyring = SampleAccount("Work");
    inKeyring.Keyring = true;
    inKeyring.Pass.clear();
    AddAccount(inKeyring, true);
    Accounts[0].ReadList = {"aa", "bb", "cc"};
    Accounts[1].ReadList = {"dd"};
    SaveOptions();

    const TOptions saved = Options;
    const std::vector<TAccount> savedAccounts = Accounts;
    LoadSettings();
    EXPECT_EQ(Options, saved);
    ASSERT_EQ(Accounts.size(), 2u);
    EXPECT_EQ(Accounts, savedAccounts);
}

TEST_F(UOptionsTest, FileLayoutFollowsTheWriteOrder) {
    TAccount a = SampleAccount("Home");
    a.Pass = "  Secret\t";
    AddAccount(a, true);
    Accounts[0].ReadList = {"u1", "u2"};
    Options.Edge = abeTop;
    Options.Attachments = {{".txt", TAttachmentAction::Save}};
    SaveOptions();
    EXPECT_EQ(ReadIni(), "[Account=Home]\nName=Ann Home\nEmail=ann@Home.test\n"
                         "NoSpam=spam@Home.test\nPOPHost=pop.Home.test\nPOPPort=995\nPOPUser=ann\n"
                         "POPPass=hpbMRD0R\nSMTPHost=smtp.Home.test\nSMTPPort=587\nSecure=1\n"
                         "Color=65280\nActive=0\nTLS=2\nTLSVerify=0\nX0=u1\nX1=u2\n"
                         "[Options]\nInterval=5\nIntervalCheck=0\nSkin=Default\nPlaySound=0\n"
                         "SoundFile=\nButtonWidth=100\nScrollDelay=5000\nScrollSpeed=1000\n"
                         "Scroll=1\nMaxWarning=0\nMaxSize=20000\nMaxLines=200\nMaxAsk=1\n"
                         "DeleteConfirm=1\nViewHTMLImages=1\nAutoHide=0\nNotify=0\n"
                         "QuietHours=0\nQuietFrom=22:00\nQuietTo=07:00\n[Bar]\nEdge=1\n"
                         "[Attachments]\n.txt=1\n");

    // A new account's section goes to the end of the file.
    AddAccount(SampleAccount("Later"), true);
    const std::string text = ReadIni();
    EXPECT_GT(text.find("[Account=Later]"), text.find("[Attachments]"));
}

// Files written before IMAP name no protocol; an IMAP account keeps its server keys.
TEST_F(UOptionsTest, ProtocolKeyAbsentOrPOP3MeansPOP3AndIMAPRoundTrips) {
    WriteIni("[Account=Old]\nPOPHost=pop.test\n[Account=Named]\nProtocol=POP3\n"
             "[Account=Odd]\nProtocol=smtp\n[Account=Lower]\nProtocol=imap\n");
    LoadSettings();
    ASSERT_EQ(Accounts.size(), 4u);
    EXPECT_EQ(Accounts[0].Protocol, TMailProtocol::POP3);
    EXPECT_EQ(Accounts[1].Protocol, TMailProtocol::POP3);
    EXPECT_EQ(Accounts[2].Protocol, TMailProtocol::POP3);
    EXPECT_EQ(Accounts[3].Protocol, TMailProtocol::IMAP);

    TAccount imap = SampleAccount("Mail");
    imap.Protocol = TMailProtocol::IMAP;
    imap.Port = 993;
    SaveAccount(imap);
    LoadSettings();
    ASSERT_EQ(Accounts.size(), 5u);
    EXPECT_EQ(Accounts[4], imap);
    EXPECT_NE(ReadIni().find("POPPort=993\n"), std::string::npos);
    // Back to POP3: the key goes, and the section reads as it did before IMAP.
    imap.Protocol = TMailProtocol::POP3;
    SaveAccount(imap);
    EXPECT_EQ(ReadIni().find("Protocol=IMAP"), std::string::npos);
    LoadSettings();
    EXPECT_EQ(Accounts[4].Protocol, TMailProtocol::POP3);
}

// An OAuth2 account keeps its client settings; its secrets are encoded, or left to the keyring.
TEST_F(UOptionsTest, OAuth2AccountRoundTripsAndPasswordAccountGetsNoKeys) {
    TAccount oauth = SampleAccount("Cloud");
    oauth.Auth = TAuthKind::OAuth2;
    oauth.OAuth.Provider = TOAuthIssuer::Microsoft;
    oauth.OAuth.AuthURL = "https://login.test/authorize";
    oauth.OAuth.TokenURL = "https://login.test/token";
    oauth.OAuth.ClientID = "client-1";
    oauth.OAuth.Scope = "mail offline_access";
    oauth.OAuth.ClientSecret = "shh";
    oauth.OAuth.Refresh = std::string(1500, 'r'); // real ones run past a fixed field
    TAccount inKeyring = oauth;
    inKeyring.AccountName = "Vault";
    inKeyring.Keyring = true;
    inKeyring.Pass.clear();
    inKeyring.OAuth.Provider = TOAuthIssuer::Google;
    SaveAccount(oauth);
    SaveAccount(inKeyring);
    const std::string text = ReadIni();
    EXPECT_NE(text.find("Auth=OAuth2\nOAuthProvider=Microsoft\n"
                        "OAuthAuthURL=https://login.test/authorize\n"
                        "OAuthTokenURL=https://login.test/token\nOAuthClientID=client-1\n"
                        "OAuthScope=mail offline_access\nOAuthRefresh=" +
                        EncodePassword(std::string(1024, 'r')) +
                        "\nOAuthRefresh2=" + EncodePassword(std::string(476, 'r')) +
                        "\nOAuthClientSecret=" + EncodePassword("shh") + "\n"),
              std::string::npos);
    EXPECT_EQ(text.find(std::string(20, 'r')), std::string::npos);
    const std::string vaultSection = text.substr(text.find("[Account=Vault]"));
    EXPECT_NE(vaultSection.find("OAuthProvider=Google\n"), std::string::npos);
    EXPECT_EQ(vaultSection.find("OAuthRefresh"), std::string::npos);
    EXPECT_EQ(vaultSection.find("OAuthClientSecret"), std::string::npos);

    LoadSettings();
    ASSERT_EQ(Accounts.size(), 2u);
    EXPECT_EQ(Accounts[0], oauth);
    inKeyring.OAuth.Refresh.clear();
    inKeyring.OAuth.ClientSecret.clear();
    EXPECT_EQ(Accounts[1], inKeyring);

    // Back to a password: every key goes, and an unknown kind reads as a password.
    oauth.Auth = TAuthKind::Password;
    SaveAccount(oauth);
    const std::string after = ReadIni();
    EXPECT_EQ(after.substr(0, after.find("[Account=Vault]")).find("Auth"), std::string::npos);
    WriteIni("[Account=Odd]\nAuth=Kerberos\nOAuthClientID=x\n");
    LoadSettings();
    EXPECT_EQ(Accounts[0].Auth, TAuthKind::Password);
    EXPECT_EQ(Accounts[0].OAuth, TOAuthConfig{});
}

TEST_F(UOptionsTest, SectionNamesValuesAndLimitsAsStored) {
    WriteIni("[account=Work]\nPOPHost=" + std::string(300, 'h') +
             "\nColor=$FF\nPOPPort=0x6E\nSMTPPort=x\nTLS=7\n"
             "[Accounts=Other]\nName=x\n[Account=]\n[Bar]\nEdge=-3\nLeft=5\n");
    LoadSettings();
    ASSERT_EQ(Accounts.size(), 2u);
    EXPECT_EQ(Accounts[0].AccountName, "Work");
    EXPECT_EQ(Accounts[0].Host, std::string(255, 'h'));
    EXPECT_EQ(Accounts[0].Color, 255);
    EXPECT_EQ(Accounts[0].Port, 110);
    EXPECT_EQ(Accounts[0].SMTPPort, 25);
    EXPECT_EQ(Accounts[0].TLS, TTLSMode::None);
    EXPECT_TRUE(Accounts[0].TLSVerify);
    EXPECT_EQ(Accounts[0].Name, "Unknown");
    EXPECT_EQ(Accounts[1].AccountName, "");
    EXPECT_EQ(Options.Edge, abeFloat);
    EXPECT_EQ(Options.Left, 5);
}

TEST_F(UOptionsTest, DockedEdgeLeavesStoredPositionAlone) {
    WriteIni("[Bar]\nEdge=5\nLeft=1\nTop=2\nWidth=3\n");
    // The save replaces the file as a whole: another link still sees the complete old one.
    ASSERT_EQ(link(Ini().c_str(), FDir.File("old.ini").c_str()), 0);
    LoadSettings();
    Options.Edge = abeRight;
    Options.Left = 100;
    SaveOptions();
    EXPECT_NE(ReadIni().find("[Bar]\nEdge=2\nLeft=1\nTop=2\nWidth=3\n"), std::string::npos);
    EXPECT_EQ(TTempDir::ReadFile(FDir.File("old.ini")), "[Bar]\nEdge=5\nLeft=1\nTop=2\nWidth=3\n");
}

TEST_F(UOptionsTest, ReadMarksStayInFileUntilSaveRenumbersThem) {
    const std::string before = "[Account=A]\nX0=one\nX1=two\nName=N\nX7=three\nX9=\nXtra=four\n";
    WriteIni(before);
    LoadSettings();
    EXPECT_EQ(Accounts[0].ReadList, (TStringList{"one", "two", "three", "four"}));
    // Loading never writes: a crash now loses no read mark.
    EXPECT_EQ(ReadIni(), before);

    Accounts[0].ReadList.pop_back();
    SaveOptions();
    const std::string after = ReadIni();
    EXPECT_NE(after.find("[Account=A]\nX0=one\nX1=two\nName=N\nX2=three\n["), std::string::npos);
    EXPECT_EQ(after.find("X7"), std::string::npos);
    EXPECT_EQ(after.find("X9"), std::string::npos);
    EXPECT_EQ(after.find("Xtra"), std::string::npos);

    Accounts[0].ReadList.clear();
    SaveOptions();
    EXPECT_EQ(ReadIni().find("X0"), std::string::npos);
}

TEST_F(UOptionsTest, ThousandsOfReadMarksAndManyAccountsAllSurvive) {
    // Far beyond what fixed 16384-character name buffers would have listed.
    for (int a = 0; a < 100; ++a)
        AddAccount(SampleAccount(std::string(200, 'n') + std::to_string(a)), true);
    for (int i = 0; i < 20000; ++i)
        Accounts[0].ReadList.push_back(std::string(32, 'a' + i % 26) + std::to_string(i));
    SaveOptions();
    const TStringList marks = Accounts[0].ReadList;
    LoadSettings();
    ASSERT_EQ(Accounts.size(), 100u);
    EXPECT_EQ(Accounts[99].AccountName, std::string(200, 'n') + "99");
    EXPECT_EQ(Accounts[0].ReadList, marks);
}

TEST_F(UOptionsTest, UndecodablePasswordLoadsAsEmpty) {
    WriteIni("[Account=Short]\nPOPPass=abc\nPOPUser=u1\n[Account=Long]\nPOPPass=" +
             std::string(1400, 'A') +
             "\nPOPUser=u2\n[Account=Good]\nPOPPass= " + EncodePassword("pw") + " \n");
    LoadSettings();
    ASSERT_EQ(Accounts.size(), 3u);
    EXPECT_EQ(Accounts[0].Pass, "");
    EXPECT_EQ(Accounts[0].User, "u1");
    EXPECT_EQ(Accounts[1].Pass, "");
    EXPECT_EQ(Accounts[1].User, "u2");
    EXPECT_EQ(Accounts[2].Pass, "pw");
}

// Every change goes through the owner, reaches the file at once and is announced with
// what it touched; a follower that has stopped listening hears nothing more.
TEST_F(UOptionsTest, OwnerSavesAndAnnouncesEachChange) {
    TSettings settings;
    std::vector<TSettingsChange> heard;
    auto listening = std::make_unique<TSettings::TSubscription>(
        settings.Subscribe([&heard](const TSettingsChange& change) { heard.push_back(change); }));

    for (const char* name : {"A", "B", "C"})
        settings.AddAccount(SampleAccount(name));
    settings.AddReadMark(1, "x");
    TAccountConfig edited = SampleAccount("renamed");
    edited.Host = "pop.new.test";
    EXPECT_TRUE(settings.EditAccount("b", edited));
    EXPECT_EQ(settings.Accounts()[1].AccountName, "B"); // the name keys the section
    EXPECT_EQ(settings.Accounts()[1].ReadList, TStringList{"x"});
    LoadSettings();
    EXPECT_EQ(Accounts[1].Host, "pop.new.test");

    heard.clear();
    EXPECT_TRUE(settings.RemoveAccount("B"));
    EXPECT_FALSE(settings.RemoveAccount("B"));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].What, unsigned(spAccounts));
    EXPECT_EQ(heard[0].RemovedAccount, 1);
    EXPECT_EQ(ReadIni().find("[Account=B]"), std::string::npos);
    EXPECT_EQ(ReadIni().find("X0=x"), std::string::npos);

    heard.clear();
    settings.UpdateOptions([](TOptions& options) { options.Interval = 9; });
    settings.UpdateOptions([](TOptions& options) { options.Interval = 9; });
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].What, unsigned(spSchedule));
    LoadSettings();
    EXPECT_EQ(Options.Interval, 9);
    ASSERT_EQ(Accounts.size(), 2u);
    EXPECT_EQ(Accounts[1].AccountName, "C");

    listening.reset();
    settings.UpdateOptions([](TOptions& options) { options.Skin = "Other"; });
    EXPECT_EQ(heard.size(), 1u);
}

// Read marks change only through the owner: each change reaches the file and is announced,
// a batch of them once at its end, and a change that changes nothing not at all.
TEST_F(UOptionsTest, ReadMarksChangedThroughTheOwnerAreSavedAndAnnounced) {
    TSettings settings;
    settings.AddAccount(SampleAccount("A"));
    std::vector<unsigned> heard;
    const TSettings::TSubscription listening = settings.Subscribe(
        [&heard](const TSettingsChange& change) { heard.push_back(change.What); });

    settings.AddReadMark(0, "one");
    {
        const TSettings::TBatch batch(settings);
        settings.AddReadMark(0, "two");
        settings.AddReadMark(0, "three");
        EXPECT_EQ(ReadIni().find("X1="), std::string::npos);
    }
    EXPECT_EQ(heard, (std::vector<unsigned>{spReadMarks, spReadMarks}));
    LoadSettings();
    EXPECT_EQ(Accounts[0].ReadList, (TStringList{"one", "two", "three"}));

    settings.RemoveReadMarks(0, {"ONE", "three", "absent"});
    settings.RemoveReadMarks(0, {"absent"});
    LoadSettings();
    EXPECT_EQ(Accounts[0].ReadList, TStringList{"two"});
    settings.ClearReadMarks(0);
    settings.ClearReadMarks(0);
    LoadSettings();
    EXPECT_TRUE(Accounts[0].ReadList.empty());
    EXPECT_EQ(heard.size(), 4u);
}
