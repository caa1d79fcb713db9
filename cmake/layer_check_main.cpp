// Linked with one layer's library whole and the layers below it: the build fails
// if that layer calls into a layer above it.
int main() { return 0; }
