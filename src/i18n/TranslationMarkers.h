#pragma once

// Marks a literal that is only declared here and translated where it is shown (TranslateText), so the
// message extraction finds it.
#define N_(text) text
