#include "common/WidgetTestMain.h"

int main(int argc, char** argv) {
    return quorvex::testing::RunWidgetTests(argc, argv);
}
