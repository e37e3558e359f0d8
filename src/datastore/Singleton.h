#pragma once
// Process-wide single instance of a class, created on first use and kept until the process
// ends. After construction the instance's Initialize() hook runs once. Not synchronised:
// the program uses its singletons from the main thread only.

namespace tw {

template <typename T>
class Singleton {
public:
    static T& Instance() {
        static T* const instance = Create();
        return *instance;
    }

    Singleton() = delete;

private:
    static T* Create() {
        // Deliberately never destroyed: the instance stays valid for code that runs while
        // the process shuts down.
        T* created = new T();
        created->Initialize();
        return created;
    }
};

}  // namespace tw
