#include "driver/run_driver.h"

int main(int argc, char** argv) {
  return zx::RunDriver(argc > 0 ? argc - 1 : 0, argc > 0 ? argv + 1 : argv);
}
