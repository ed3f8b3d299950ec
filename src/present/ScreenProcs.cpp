#include "present/Module1.h"

namespace vx {

BannerScreen *screenForm = nullptr;
bool bannerBusy = false;

void ClearScreen()
{
    if (!screenForm)
        return;
    Surface &s = screenForm->surface();
    s.setBackColor(rgb(0, 0, 0));
    s.setFontName(QStringLiteral("ＭＳ ゴシック"));
    s.setFontSize(16);
    s.setFontBold(true);
    s.bitBlt(0, 0, s.scaleWidth(), s.scaleHeight(), RasterOp::Blackness);
}

void PrintAt(const QString &text, std::int32_t x, std::int32_t y, Color color)
{
    if (!screenForm)
        return;
    Surface &s = screenForm->surface();
    s.bitBlt(0, 0, s.scaleWidth(), s.scaleHeight(), RasterOp::Blackness);
    s.currentX = x;
    s.currentY = y;
    if (color != 0)
        s.foreColor = color;
    s.print(text);
}

} // namespace vx
