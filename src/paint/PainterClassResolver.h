#pragma once

#include "paint/QxBarChartPainter.h"

#include <memory>
#include <string>

namespace quorvex {

// The class a stored BarChartPainterClass value names: the registered class whose name matches
// ignoring case, else TDefaultBarChartPainter (also for an empty value).
const TQxBarChartPainterClass& PainterClassByName(const std::string& className);

// The canonical spelling of that class's name, as the settings keep it.
std::string ResolvePainterClassName(const std::string& className);

// A new painter of the class `className` names, by the rule above.
std::unique_ptr<TQxBarChartPainter> CreateBarChartPainter(const std::string& className);

// Lets the settings store resolve BarChartPainterClass through the painter registry. Called once at
// start-up, before the settings are loaded.
void InstallPainterClassResolver();

} // namespace quorvex
