// The questions a page asks, put to a child window's sink as an engine puts
// them and answered through the fake UI services: message boxes and their
// flood guard, sign-in, certificate errors and permissions remembered for
// the session, file upload and full screen.
#include "browser/ChildForm.h"
#include "browser/PageServices.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QMdiArea>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

struct PageServicesTest : ::testing::Test {
    void SetUp() override
    {
        PageServices::Session().Reset();
        PageServices::Session().clock = [this] { return now; };
        h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://one.example/"),
                              QStringLiteral("c"));
        h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://two.example/"),
                              QStringLiteral("c"));
    }
    void TearDown() override { PageServices::Session().Reset(); }

    PageDialogRequest Dialog(PageDialogKind kind,
                             const QString &page = QStringLiteral("http://one.example/a"))
    {
        PageDialogRequest request;
        request.kind = kind;
        request.origin = QUrl(page);
        request.message = QStringLiteral("本当に？");
        request.defaultText = QStringLiteral("既定");
        return request;
    }
    static PageMessageAnswer Answer(bool accepted, const QString &text = QString(), bool stop = false)
    {
        PageMessageAnswer answer;
        answer.accepted = accepted;
        answer.text = text;
        answer.stopFurther = stop;
        return answer;
    }

    MainHarness h;
    qint64 now = 100000;
};

TEST_F(PageServicesTest, MessageBoxesReturnWhatTheUserChose)
{
    TChildForm *child = h.Child(1); // in the background: asking brings it forward
    h.ui.pageAnswers = {Answer(true), Answer(false), Answer(true, QStringLiteral("入力")), Answer(false),
                        Answer(true)};
    QString text = QStringLiteral("untouched");
    EXPECT_TRUE(child->OnPageDialog(Dialog(PageDialogKind::Confirm), nullptr));
    EXPECT_EQ(h.form->ActiveChild(), child);
    EXPECT_FALSE(child->OnPageDialog(Dialog(PageDialogKind::Confirm), nullptr));
    now += 20000;
    EXPECT_TRUE(child->OnPageDialog(Dialog(PageDialogKind::Prompt), &text));
    EXPECT_EQ(text, QStringLiteral("入力"));
    EXPECT_FALSE(child->OnPageDialog(Dialog(PageDialogKind::Prompt), &text));
    EXPECT_EQ(text, QStringLiteral("入力")); // Cancel leaves the text alone
    EXPECT_FALSE(
        child->OnPageDialog(Dialog(PageDialogKind::Alert), nullptr)); // an alert's answer means nothing

    ASSERT_EQ(h.ui.pageMessages.size(), 5u);
    const PageMessage &prompt = h.ui.pageMessages[2];
    EXPECT_EQ(prompt.kind, PageMessageKind::Prompt);
    EXPECT_EQ(prompt.title, QStringLiteral("one.example"));
    EXPECT_EQ(prompt.text, QStringLiteral("本当に？"));
    EXPECT_EQ(prompt.defaultText, QStringLiteral("既定"));
    EXPECT_EQ(h.ui.pageMessages[0].kind, PageMessageKind::Confirm);
    EXPECT_EQ(h.ui.pageMessages[4].kind, PageMessageKind::Alert);

    h.ui.pageAnswers = {Answer(true)};
    EXPECT_TRUE(child->OnPageDialog(
        Dialog(PageDialogKind::BeforeUnload, QStringLiteral("file:///tmp/x.html")), nullptr));
    EXPECT_EQ(h.ui.pageMessages.back().kind, PageMessageKind::LeavePage);
    EXPECT_EQ(h.ui.pageMessages.back().title, QStringLiteral("Web ページ")); // no host to name
}

TEST_F(PageServicesTest, APageThatKeepsAskingCanBeSilenced)
{
    TChildForm *child = h.Child(0);
    // Slow boxes are no flood: each answered more than ten seconds after the last.
    for (int i = 0; i < 4; ++i) {
        child->OnPageDialog(Dialog(PageDialogKind::Alert), nullptr);
        now += 10001;
    }
    for (const PageMessage &m : h.ui.pageMessages)
        EXPECT_FALSE(m.offerStop);

    // Three in a row: the third offers to stop them.
    h.ui.pageMessages.clear();
    h.ui.pageAnswers = {Answer(true), Answer(true), Answer(true, QString(), true)};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(child->OnPageDialog(Dialog(PageDialogKind::Confirm), nullptr));
        now += 2000;
    }
    ASSERT_EQ(h.ui.pageMessages.size(), 3u);
    EXPECT_FALSE(h.ui.pageMessages[1].offerStop);
    EXPECT_TRUE(h.ui.pageMessages[2].offerStop);

    // Stopped: answered "Cancel" unseen, also much later, without pulling the
    // window forward; the page's text stays.
    h.ui.pageAnswers = {Answer(true, QStringLiteral("x")), Answer(true, QStringLiteral("x"))};
    now += 600000;
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(1));
    QString text = QStringLiteral("kept");
    EXPECT_FALSE(child->OnPageDialog(Dialog(PageDialogKind::Confirm), nullptr));
    EXPECT_FALSE(child->OnPageDialog(
        Dialog(PageDialogKind::Prompt, QStringLiteral("http://one.example/other")), &text));
    EXPECT_EQ(text, QStringLiteral("kept"));
    EXPECT_EQ(h.ui.pageMessages.size(), 3u);
    EXPECT_EQ(h.form->ActiveChild(), h.Child(1));

    // Another site in the window, and the same site in another window, still ask.
    EXPECT_TRUE(
        child->OnPageDialog(Dialog(PageDialogKind::Confirm, QStringLiteral("http://two.example/")), nullptr));
    EXPECT_TRUE(h.Child(1)->OnPageDialog(Dialog(PageDialogKind::Confirm), nullptr));
    EXPECT_EQ(h.ui.pageMessages.size(), 5u);
}

TEST_F(PageServicesTest, SignInAsksForTheHostAndRealm)
{
    AuthenticationRequest request;
    request.url = QUrl(QStringLiteral("http://one.example/secret"));
    request.host = QStringLiteral("proxy.example:3128");
    request.realm = QStringLiteral("社内");
    request.proxy = true;
    QString user, password;
    h.ui.signInAnswers = {Credentials{QStringLiteral("taro"), QStringLiteral("pw")}, std::nullopt};
    EXPECT_TRUE(h.Child(0)->OnAuthenticate(request, user, password));
    EXPECT_EQ(user, QStringLiteral("taro"));
    EXPECT_EQ(password, QStringLiteral("pw"));
    ASSERT_EQ(h.ui.signInRequests.size(), 1u);
    EXPECT_EQ(h.ui.signInRequests[0].host, QStringLiteral("proxy.example:3128"));
    EXPECT_EQ(h.ui.signInRequests[0].realm, QStringLiteral("社内"));
    EXPECT_TRUE(h.ui.signInRequests[0].proxy);
    EXPECT_FALSE(h.Child(0)->OnAuthenticate(request, user, password)); // Cancel refuses
}

TEST_F(PageServicesTest, CertificateErrorsAreAcceptedPerEngineAndHostForTheSessionOnly)
{
    CertificateErrorInfo error;
    error.url = QUrl(QStringLiteral("https://self.example:8443/"));
    error.host = QStringLiteral("self.example");
    error.description = QStringLiteral("自己署名の証明書です");
    h.ui.askAnswers = {false, true};
    EXPECT_FALSE(h.Child(0)->OnCertificateError(error)); // refused by default
    EXPECT_TRUE(h.Child(0)->OnCertificateError(error));
    EXPECT_TRUE(h.Child(1)->OnCertificateError(error)); // allowed: no more questions
    ASSERT_EQ(h.ui.questions.size(), 2u);
    EXPECT_EQ(h.ui.questions[0].title, QStringLiteral("セキュリティの警告"));
    EXPECT_TRUE(h.ui.questions[0].text.contains(QStringLiteral("self.example")));
    EXPECT_TRUE(h.ui.questions[0].detail.contains(QStringLiteral("自己署名の証明書です")));
    EXPECT_EQ(h.ui.questions[0].refuseCaption, QStringLiteral("接続しない"));

    error.host = QStringLiteral("other.example");
    EXPECT_FALSE(h.Child(0)->OnCertificateError(error));
    EXPECT_EQ(h.ui.questions.size(), 3u);
    // The other engine keeps exceptions of its own: its windows ask again.
    h.form->Moz_ItemClick();
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("https://self.example:8443/"),
                          QStringLiteral("c"));
    error.host = QStringLiteral("self.example");
    EXPECT_FALSE(h.Child(2)->OnCertificateError(error));
    EXPECT_EQ(h.ui.questions.size(), 4u);
    PageServices::Session().Reset(); // a new run asks again
    EXPECT_FALSE(h.Child(0)->OnCertificateError(error));
    EXPECT_EQ(h.ui.questions.size(), 5u);
}

TEST_F(PageServicesTest, PermissionsAreDeniedByDefaultAndRememberedPerSite)
{
    const QUrl site(QStringLiteral("https://maps.example/"));
    h.ui.askAnswers = {false, true};
    EXPECT_FALSE(h.Child(0)->OnPermissionRequest(site, PagePermission::Geolocation));
    EXPECT_FALSE(h.Child(1)->OnPermissionRequest(QUrl(QStringLiteral("https://maps.example:443/x")),
                                                 PagePermission::Geolocation));
    EXPECT_TRUE(h.Child(0)->OnPermissionRequest(site, PagePermission::Notifications));
    EXPECT_TRUE(h.Child(0)->OnPermissionRequest(site, PagePermission::Notifications));
    ASSERT_EQ(h.ui.questions.size(), 2u);
    EXPECT_EQ(h.ui.questions[0].text,
              QStringLiteral("maps.example が現在地の取得を求めています。許可しますか？"));
    EXPECT_EQ(h.ui.questions[0].refuseCaption, QStringLiteral("許可しない"));

    // Another port or scheme is another site.
    EXPECT_FALSE(h.Child(0)->OnPermissionRequest(QUrl(QStringLiteral("https://maps.example:8443/")),
                                                 PagePermission::Geolocation));
    EXPECT_FALSE(h.Child(0)->OnPermissionRequest(QUrl(QStringLiteral("http://maps.example/")),
                                                 PagePermission::Geolocation));
    EXPECT_EQ(h.ui.questions.size(), 4u);
}

TEST_F(PageServicesTest, UploadOffersThePagesTypesAndMultipleFilesWhenAsked)
{
    FileChooserRequest request;
    request.origin = QUrl(QStringLiteral("http://one.example/"));
    request.acceptedTypes = QStringList{".PDF", "text/plain", "bad|type"};
    h.ui.openAnswers = {QStringLiteral("/tmp/a.pdf")};
    EXPECT_EQ(h.Child(0)->OnChooseFiles(request), QStringList{"/tmp/a.pdf"});
    ASSERT_EQ(h.ui.openRequests.size(), 1u);
    EXPECT_EQ(h.ui.openRequests[0].title, QStringLiteral("アップロードするファイルの選択"));
    EXPECT_TRUE(h.ui.openRequests[0].filter.startsWith(QStringLiteral("ページが指定した種類|*.pdf;*.txt")));
    EXPECT_TRUE(h.ui.openRequests[0].filter.endsWith(QStringLiteral("|すべてのファイル(*.*)|*.*")));

    request.multiple = true;
    h.ui.openFilesAnswers.push_back(QStringList{"/tmp/a", "/tmp/b"});
    EXPECT_EQ(h.Child(0)->OnChooseFiles(request), (QStringList{"/tmp/a", "/tmp/b"}));
    EXPECT_TRUE(h.Child(0)->OnChooseFiles(request).isEmpty()); // cancelled
    EXPECT_EQ(h.ui.openFilesRequests.size(), 2u);
}

TEST_F(PageServicesTest, FullScreenShowsTheControlAloneAndPutsItBack)
{
    TChildForm *child = h.Child(0);
    QWidget *control = child->Browser()->Control();
    ASSERT_EQ(child->widget(), control);
    child->OnFullScreenChange(true);
    ASSERT_NE(child->FullScreenWindow(), nullptr);
    EXPECT_EQ(control->window(), child->FullScreenWindow());
    EXPECT_TRUE(child->FullScreenWindow()->isFullScreen());
    child->OnFullScreenChange(false);
    EXPECT_EQ(child->FullScreenWindow(), nullptr);
    EXPECT_EQ(child->widget(), control);

    // Closing a window while its page is full screen takes the control home first.
    child->OnFullScreenChange(true);
    child->CloseWindow();
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(h.LiveEngines(), 1); // the control went with its window
}

} // namespace
