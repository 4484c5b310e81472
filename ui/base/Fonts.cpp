#include "ui/base/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// The niceness of the worker: behind the program's other threads, yet never starved.
constexpr int AheadOfNeedNice = 5;

/// The worker that reads the font configuration; joined at the end of the process.
struct Preparation
{
    ~Preparation()
    {
        if (worker.joinable())
            worker.join();
    }
    std::thread worker;
};

} // namespace

void Fonts::prepareInBackground()
{
    static Preparation preparation;
    if (preparation.worker.joinable())
        return;
    try {
        // The library keeps the configuration it reads first; a second reader at the same moment reads its own and
        // drops it.
        preparation.worker = std::thread([] {
            // Work ahead of need: the windows being built and the X server come first on a machine of few cores.
            (void)::setpriority(PRIO_PROCESS, ::gettid(), AheadOfNeedNice);
            FcInit();
        });
    } catch (const std::system_error&) {
        // Without a thread the toolkit reads the configuration itself, as it always can.
    }
}

QStringList Fonts::families()
{
    // Without "宋体", WenQuanYi Micro Hei keeps "￥99999.99" (61 px) and "2026年12月28日" (89 px) inside the
    // money and date columns at 12 pixels; Latin faces such as DejaVu draw the digits too wide for them.
    // Noto Sans CJK SC (Debian's fonts-noto-cjk) has every Han character of GB 18030 level 2 that WenQuanYi
    // lacks, in the simplified forms; left to the system, those would come from its Japanese face.
    return {u"宋体"_s, u"SimSun"_s, u"WenQuanYi Micro Hei"_s, u"Noto Sans CJK SC"_s, u"Source Han Sans SC"_s};
}

QFont Fonts::gui()
{
    return forDef(FontDef::S12);
}

QFont Fonts::forDef(FontDef font)
{
    QFont f;
    f.setFamilies(families());
    f.setPixelSize(font == FontDef::S14 ? LargePixelSize : GuiPixelSize);
    f.setWeight(QFont::Normal);
    f.setStyle(QFont::StyleNormal);
    return f;
}

} // namespace ovelta
