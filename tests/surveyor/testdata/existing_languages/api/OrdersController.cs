using System.Linq;
namespace App.Services {
  [ApiController]
  [Route("api/[controller]")]
  public class OrdersController : ControllerBase {
    [HttpGet("{id}")]
    public async Task<IActionResult> GetOrder(int id) { return Ok(); }
    private record Item(string Name);
  }
  public interface IOrderRepository { }
}
