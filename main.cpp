#include "app/Application.h"

int main(int argc, char** argv)
{
    return ovelta::Application::run(argc, argv);
}
