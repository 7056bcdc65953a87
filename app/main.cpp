#include "shell/korvoapp.h"

int main(int argc, char** argv) {
    CKorvoApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitCode();
    return app.exec();
}
