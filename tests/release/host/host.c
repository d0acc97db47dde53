/* The smallest host of an installed zentrolink: start-up and shut-down through the header. */
#include <stdio.h>
#include <zentrolink.h>

int main(void) {
    int32_t init = Zentro_Init();
    int32_t uninit = Zentro_UnInit();
    printf("Zentro_Init %d, Zentro_UnInit %d\n", (int)init, (int)uninit);
    return init == 0 && uninit == 0 ? 0 : 1;
}
