#include "shell/application.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    shell::Application app(argc, argv);
    shell::StartupOptions options;
    options.arguments = app.arguments().mid(1);
    shell::Startup startup(std::move(options));
    if (!startup.run()) return 0;
    return startup.exec();
}
