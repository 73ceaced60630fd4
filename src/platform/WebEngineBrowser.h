#pragma once

#include "platform/Browser.h"

#include <QList>
#include <QNetworkCookie>
#include <QPointer>
#include <QUrl>

#include <chrono>

class QTimer;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineView;
class QWebEngineLoadingInfo;
class QWebEngineProfile;

namespace vardelo {

// The browser over Qt WebEngine. Its widget is a light holder until the
// engine is first needed; every use of the engine goes through view() and
// page(), which start it, or open a page again after releasePage. A script whose answer does not
// come within the time-out (a crashed or hung renderer) is answered as failed.
class WebEngineBrowser final : public Browser {
    Q_OBJECT
  public:
    explicit WebEngineBrowser(QObject* parent = nullptr);
    ~WebEngineBrowser() override;

    QWidget* widget() override;
    void navigate(const QString& url) override;
    void submitElement(quint64 ticket, const QString& id) override;
    void readBodyMarkup(quint64 ticket) override;
    void activateElement(quint64 ticket, const QString& selector) override;
    void readElement(quint64 ticket, const QString& selector, const QString& attribute) override;
    bool isLoading() const override { return loading_; }
    void readEntries(quint64 ticket, const EntryQuery& query) override;
    void fillField(quint64 ticket, const QString& selector, const QString& value) override;
    QString pageAddress() const override;
    HttpSession session() const override;
    void presetCookies(const QString& url, const CookiePairs& cookies) override;
    void abandonPage() override;
    void releasePage() override;
    void holdNavigation(NavigationHold hold) override {
        hold_ = hold;
        pressedForm_ = PressedForm::None;
    }
    Browser* makeHiddenPage(QObject* parent) override;

    void setScriptTimeout(std::chrono::milliseconds timeout) { scriptTimeout_ = timeout; }

    // The engine has been started (by a page to load or by being looked at).
    bool started() const;
    // A page is open: the engine's, until releasePage lets it go.
    bool hasPage() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWebEngineView* view();
    QWebEnginePage* page();
    void createView();
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    // The page asks to go to `url`; false: it stays, the move held.
    bool allowNavigation(const QUrl& url, int type, bool mainFrame);
    // The page's right-click menu: copying what is there, in Hungarian.
    void showPageMenu(const QPoint& position);
    // In the page's own world unless `world` says otherwise.
    template <typename Answer>
    void runScript(quint64 ticket, const QString& script, Answer answer, quint32 world = 0);
    // The held form's fields, read where the page put them as it sent it.
    void tellHeldForm(const QString& address);
    bool endPageScripts();
    void rendererEnded();
    // Host profiles' steps watch the page's downloads from their first use.
    void watchDownloads();
    void onDownloadRequested(QWebEngineDownloadRequest* request);
    // The engine's cookies, kept here as the engine tells of each change, so
    // that a transfer can carry them without asking the engine and waiting.
    void watchCookies(QWebEngineProfile* profile);
    void forgetCookie(const QNetworkCookie& cookie);

    QPointer<QWidget> holder_;      // the window takes it over
    QPointer<QWebEngineView> view_; // inside the holder, while a page is open
    // The engine's profile, from its start on: its cookies and user agent
    // outlive the pages.
    QPointer<QWebEngineProfile> profile_;
    // The current page's scripts: their time-outs live and die with it.
    QObject* pageScripts_ = nullptr;
    int unansweredScripts_ = 0;
    std::chrono::milliseconds scriptTimeout_{15000};
    bool rendererEnding_ = false;
    QUrl afterRendererEnds_;
    bool watchingDownloads_ = false;
    // How the element pressed within the hold submits a form, if it does.
    enum class PressedForm { None, Get, Post };
    NavigationHold hold_ = NavigationHold::Off;
    PressedForm pressedForm_ = PressedForm::None;
    bool loading_ = false;
    QList<QNetworkCookie> cookies_;
};

} // namespace vardelo
