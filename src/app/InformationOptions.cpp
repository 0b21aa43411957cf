#include "app/InformationOptions.h"

#include "tesselmenu/Version.h"

#include <cstdio>
#include <cstring>

std::optional<int> answerInformationOptions(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tesselmenu %s\n", TESSELMENU_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "usage: tesselmenu [--help | --version]\n"
                "\n"
                "Shows AI coding tools' token usage in the system tray. Started a second time,\n"
                "it brings the running one's panel up.\n"
                "\n"
                "Usage repository: \"TesselRepoDir\" in ~/.config/TesselMenu/Info.json, else the\n"
                "current folder when it holds docs/usage.json, else\n"
                "$XDG_DATA_HOME/tesselmenu/usage (~/.local/share/tesselmenu/usage).\n"
                "When figures stay at zero or a sync fails, run: tessel doctor\n");
            return 0;
        }
    }
    return std::nullopt;
}
