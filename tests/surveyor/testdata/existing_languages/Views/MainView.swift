import SwiftUI
import Combine

struct MainView: View {
    @State private var count = 0

    var body: some View {
        Text("Count: \(count)")
    }
}

final class MainModel: ObservableObject {
    func increment() {}
}
