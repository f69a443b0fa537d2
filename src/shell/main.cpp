#include "shell/application.h"
#include "shell/menu_form.h"

int main(int argc, char** argv) {
    shell::Application app(argc, argv);
    TMenuForm form;
    form.show();
    return shell::Application::exec();
}
