#include "app/dialog/DialogUnits.h"

CDialogUnits::CDialogUnits(const QFontMetrics& metrics)
    : m_charWidth((metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2),
      m_charHeight(metrics.height())
{
}

namespace {

// a * b / c rounded to the nearest, as MulDiv does.
int MulDiv(int a, int b, int c)
{
    return (a * b + c / 2) / c;
}

} // namespace

QRect CDialogUnits::ToPixels(int x, int y, int width, int height) const
{
    return {MulDiv(x, m_charWidth, 4), MulDiv(y, m_charHeight, 8), MulDiv(width, m_charWidth, 4),
            MulDiv(height, m_charHeight, 8)};
}

QSize CDialogUnits::ToPixels(int width, int height) const
{
    return {MulDiv(width, m_charWidth, 4), MulDiv(height, m_charHeight, 8)};
}
