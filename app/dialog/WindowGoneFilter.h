#pragma once
// Notices when the X server destroys a widget's native window under it (a window manager that
// crashes, a remote desktop connection that drops, "xdotool windowclose"). Qt takes no notice of
// that: the widget would stay "visible" without a window, and the process would never end.
#include <QAbstractNativeEventFilter>

#include <functional>

class QWidget;

class CWindowGoneFilter : public QAbstractNativeEventFilter {
public:
    // Installs itself on the application until destroyed; `gone` runs once, on the
    // user-interface thread, when `widget`'s native window is destroyed.
    CWindowGoneFilter(const QWidget& widget, std::function<void()> gone);
    ~CWindowGoneFilter() override;
    CWindowGoneFilter(const CWindowGoneFilter&) = delete;
    CWindowGoneFilter& operator=(const CWindowGoneFilter&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    const QWidget& m_widget;
    std::function<void()> m_gone;
    bool m_reported = false;
};
