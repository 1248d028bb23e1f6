#pragma once

#include <QIcon>

namespace quorvex {

class TIconRegistry;

// The tree's own images, drawn by the program so that they exist on every desktop: the marks laid
// over file groups and stopped directories, and the frames of the "being scanned" animation.
// Indices are those of the registry they were added to.
struct TTreeImages {
    static constexpr int kAnimationFrames = 8;

    int FileGroupOverlay = -1;  // several small files shown as one row
    int IncompleteOverlay = -1; // the scan of the directory was stopped
    int LocalDrives = -1;       // the "Local Drives" row
    int Animation[kAnimationFrames] = {-1, -1, -1, -1, -1, -1, -1, -1};

    static TTreeImages AddTo(TIconRegistry& registry);
};

// Exposed for tests: frame `frame` (0..7) of the animation; the frames differ from each other.
QIcon AnimationFrame(int frame);

} // namespace quorvex
