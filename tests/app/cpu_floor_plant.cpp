// Not run: a program that holds instructions above each CPU floor, to show
// that tools/check-cpu-floor.py refuses them.
extern "C" __attribute__((noinline)) unsigned ScxPlantedInstructions(unsigned a, unsigned b)
{
    unsigned lo, hi;
    __asm__ volatile("cmpl %2, %1\n\tcmovne %2, %1\n\tfldz\n\tfld1\n\tfucomip %%st(1), %%st\n\tfstp %%st(0)\n\t"
                     "rdtsc"
                     : "=a"(lo), "+r"(a), "=d"(hi)
                     : "r"(b)
                     : "cc");
    return a + lo + hi;
}

int main(int argc, char**)
{
    return int(ScxPlantedInstructions(unsigned(argc), 2u));
}
