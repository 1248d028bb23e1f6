#include "paint/PainterClassResolver.h"

#include "paint/Skins.h"
#include "settings/QxSettings.h"

namespace quorvex {

const TQxBarChartPainterClass& PainterClassByName(const std::string& className) {
    const TQxBarChartPainterClass* found =
        BarChartPainterRegistry().FindByClassName(QString::fromStdString(className));
    return found != nullptr ? *found : DefaultBarChartPainterClass();
}

std::string ResolvePainterClassName(const std::string& className) {
    return PainterClassByName(className).ClassName.toStdString();
}

std::unique_ptr<TQxBarChartPainter> CreateBarChartPainter(const std::string& className) {
    return PainterClassByName(className).Create();
}

void InstallPainterClassResolver() {
    SetPainterClassResolver(&ResolvePainterClassName);
}

} // namespace quorvex
