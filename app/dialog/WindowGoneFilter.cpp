#include "app/dialog/WindowGoneFilter.h"

#include <QCoreApplication>
#include <QWidget>

#include <xcb/xcb.h>

CWindowGoneFilter::CWindowGoneFilter(const QWidget& widget, std::function<void()> gone)
    : m_widget(widget), m_gone(std::move(gone))
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

CWindowGoneFilter::~CWindowGoneFilter()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CWindowGoneFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (m_reported || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_DESTROY_NOTIFY)
        return false;
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    // internalWinId: never makes a native window just to compare.
    if (m_widget.internalWinId() == 0 || destroyed->window != static_cast<xcb_window_t>(m_widget.internalWinId()))
        return false;
    m_reported = true;
    m_gone();
    return false; // Qt may still tidy up after its window
}
