// Nothing to run: linking this program is the check (see CMakeLists.txt).
int main() {
    return 0;
}
