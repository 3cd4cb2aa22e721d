// Replaced by the interface texts.
namespace vesko {}
