#pragma once

#include "platform/Browser.h"

#include <QPointer>
#include <QUrl>

#include <chrono>

class QTimer;
class QWebEngineView;
class QWebEngineLoadingInfo;

namespace vardelo {

// The browser over Qt WebEngine. A script whose answer does not come within
// the time-out (a crashed or hung renderer) is answered as failed.
class WebEngineBrowser final : public Browser {
    Q_OBJECT
  public:
    explicit WebEngineBrowser(QObject* parent = nullptr);
    ~WebEngineBrowser() override;

    QWidget* widget() override;
    void navigate(const QString& url) override;
    void submitElement(quint64 ticket, const QString& id) override;
    void readBodyMarkup(quint64 ticket) override;
    void abandonPage() override;

    void setScriptTimeout(std::chrono::milliseconds timeout) { scriptTimeout_ = timeout; }

  private:
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    template <typename Answer> void runScript(quint64 ticket, const QString& script, Answer answer);
    bool endPageScripts();
    void rendererEnded();

    QPointer<QWebEngineView> view_; // the window takes it over
    // The current page's scripts: their time-outs live and die with it.
    QObject* pageScripts_ = nullptr;
    int unansweredScripts_ = 0;
    std::chrono::milliseconds scriptTimeout_{15000};
    bool rendererEnding_ = false;
    QUrl afterRendererEnds_;
};

} // namespace vardelo
