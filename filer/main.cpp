// Entry point of filer; the pair handler arrives with the window layer.
int main() { return 0; }
