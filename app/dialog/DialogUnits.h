#pragma once
// Dialog units to pixels, as Windows lays out a dialog template: x units are a quarter of the
// font's average character width, y units an eighth of its height.
#include <QFontMetrics>
#include <QRect>

class CDialogUnits {
public:
    explicit CDialogUnits(const QFontMetrics& metrics);

    QRect ToPixels(int x, int y, int width, int height) const;
    QSize ToPixels(int width, int height) const;

private:
    int m_charWidth;  // average width of the Latin letters, rounded as Windows does
    int m_charHeight;
};
